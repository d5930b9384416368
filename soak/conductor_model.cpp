// The conductor's model episodes: generation, the push to the armband with
// its faults (failed, silent, unwritable image, no configuration object),
// live identification and the armband's own gesture stream.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <set>

#include "soak/conductor.h"

namespace {

constexpr int GENERATE_TIMEOUT_MS = 120000;
constexpr int UPDATE_TIMEOUT_MS = 15000;
constexpr size_t SHORTEST_USABLE_RECORDING = 132 * 8;
constexpr size_t MODEL_IMAGE_SIZE = 48 + 112;  // 3 rows of 9 floats, padded to 16
// Identification: each gesture held, then rest.
constexpr int HOLD_MS = 1600;
constexpr int REST_MS = 600;

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 0x0F];
    }
    return out;
}

bool regularFileOfAtLeast(const std::string& path, size_t size) {
    struct stat s {};
    return ::lstat(path.c_str(), &s) == 0 && S_ISREG(s.st_mode) && static_cast<size_t>(s.st_size) >= size;
}

}  // namespace

bool Conductor::generatingShouldSucceed() const {
    if (!configured_) return false;
    for (unsigned g = 1; g <= GESTURES; ++g) {
        if (!regularFileOfAtLeast(ledger_.path(g), SHORTEST_USABLE_RECORDING)) return false;
    }
    return true;
}

bool Conductor::weightsMatch() const {
    if (!configured_) return false;
    const std::string weights = readFile(server_.path("W&B.txt"));
    return std::count(weights.begin(), weights.end(), '\n') == GESTURES &&
           std::count(weights.begin(), weights.end(), ' ') == GESTURES * 8;
}

void Conductor::generateModel(const std::string& when) {
    const bool shouldSucceed = generatingShouldSucceed();
    const uint64_t since = mark();
    if (shouldSucceed) allow(0x0A, 0x00, GENERATE_TIMEOUT_MS);
    const int64_t started = nowMs();
    send({0x0A});
    if (!shouldSucceed) {
        quiet(since, is({0x0A, 0x00}), 2000, "generation without usable recordings fails", "[0a 00]");
        return;
    }
    if (!expectExact(since, {0x0A, 0x00}, GENERATE_TIMEOUT_MS, "a model is generated from the recordings")) return;
    report_.count("models generated");
    note("model generated " + when + " in " + std::to_string(nowMs() - started) + " ms");
    report_.check(weightsMatch(), "W&B.txt has one line of 8 weights and a bias per gesture pair");
    bool featuresLeft = false;
    for (int k = 0; k <= 8; ++k) featuresLeft |= ::access(server_.path("feature" + std::to_string(k) + ".txt").c_str(), F_OK) == 0;
    report_.check(!featuresLeft, "a generation removes its feature files");
}

void Conductor::updateModel() {
    const uint64_t since = mark();
    allow(0x0D, -1, UPDATE_TIMEOUT_MS, 10);
    allow(0x0C, 0x00, UPDATE_TIMEOUT_MS);
    send({0x0C});
    if (!expectExact(since, {0x0C, 0x00}, UPDATE_TIMEOUT_MS, "the model reaches the armband")) return;
    Bytes progress;
    while (std::optional<Bytes> step = take(since, [](const Bytes& m) { return m[0] == 0x0D; })) {
        progress.push_back((*step)[1]);
    }
    report_.check(progress == Bytes{10, 20, 30, 40, 50, 60, 70, 80, 90, 100}, "model update progress comes in order",
                  describe(progress));
    const std::string image = readFile(server_.path("model.bin"));
    report_.check(image.size() == MODEL_IMAGE_SIZE && image.compare(0, 4, std::string("\xFF\x03\x70\x00", 4)) == 0,
                  "model.bin holds the image", std::to_string(image.size()) + " bytes");
    report_.check(control("status").find("\"modelImage\":\"" + hex(image) + "\"") != std::string::npos,
                  "the armband received model.bin");
    report_.count("models pushed to the armband");
}

void Conductor::holdGesture(unsigned gesture) { control("gesture " + std::to_string(gesture)); }

void Conductor::episodeModelFlow() {
    if (!ensureReady()) return;
    note("episode: generate, update, identify");
    generateModel("while idle");
    if (weightsMatch()) updateModel();
    episodeIdentify();
}

void Conductor::episodeIdentify() {
    if (!weightsMatch()) return;
    uint64_t since = mark();
    allow(0x08, -1, 30000, -1);
    send({0x08});
    pump(1000);
    expectRecordRefusal({0x06, 0x01}, "RECORD_START while identifying is refused");
    uint64_t later = mark();
    allow(0x10, 0xFC, REPLY_TIMEOUT_MS);
    send({0x10});
    expectExact(later, {0x10, 0xFC}, REPLY_TIMEOUT_MS, "the gesture stream cannot start while identifying");
    for (unsigned g = 1; g <= GESTURES; ++g) {
        holdGesture(g);
        pump(HOLD_MS);
        holdGesture(0);
        pump(REST_MS);
    }
    std::set<int> seen;
    while (std::optional<Bytes> result = take(since, [](const Bytes& m) { return m[0] == 0x08 && m[1] >= 1 && m[1] <= 8; })) {
        seen.insert((*result)[1]);
        report_.count("identification results");
    }
    std::string list;
    for (int g : seen) list += " " + std::to_string(g);
    note("identification: gestures seen:" + (list.empty() ? std::string(" none") : list));
    later = mark();
    allow(0x08, 0xFD, REPLY_TIMEOUT_MS);
    send({0x09});
    expectExact(later, {0x08, 0xFD}, REPLY_TIMEOUT_MS, "IDENTIFY_STOP stops identification");
}

void Conductor::episodeGestureStream() {
    if (!ensureReady()) return;
    note("episode: the armband's gesture stream");
    static std::minstd_rand random(11);
    allow(0x10, -1, 30000, -1);
    send({0x10});
    for (int i = 0; i < 3; ++i) {
        const unsigned gesture = random() % 256;
        const uint64_t since = mark();
        std::string answer;
        for (int attempt = 0; attempt < 25; ++attempt) {
            answer = control("armband-gesture " + std::to_string(gesture), "armband-gesture");
            if (answer == "ok") break;
            pump(200);
        }
        report_.check(answer == "ok", "gesture notifications are on while streaming", answer);
        expectExact(since, {0x10, static_cast<uint8_t>(gesture)}, REPLY_TIMEOUT_MS,
                    "the armband's gestures are streamed unchanged");
    }
    uint64_t since = mark();
    send({0x10});
    expectExact(since, {0x10, 0xFC}, REPLY_TIMEOUT_MS, "the gesture stream cannot start twice");
    expectRecordRefusal({0x06, 0x02}, "RECORD_START while streaming is refused");
    since = mark();
    send({0x11});
    expectExact(since, {0x10, 0xFD}, REPLY_TIMEOUT_MS, "GESTURE_STREAM_STOP stops the stream");
    since = mark();
    send({0x11, 0x00});
    expectExact(since, {0x10, 0xFC}, REPLY_TIMEOUT_MS, "GESTURE_STREAM_STOP without a stream is refused");
    report_.check(control("armband-gesture 1").rfind("error", 0) == 0, "gesture notifications are off after the stream");
}

void Conductor::episodeModelFaults() {
    if (!ensureReady()) return;
    note("episode: model faults");
    if (!weightsMatch()) generateModel("before the model faults");
    updateFaults();
    oneGestureChecks();
}

void Conductor::updateFaults() {
    if (weightsMatch()) {
        controlOk("fail update", "fail update");
        uint64_t since = mark();
        allow(0x0C, 0xF0, REPLY_TIMEOUT_MS);
        send({0x0C});
        expectExact(since, {0x0C, 0xF0}, REPLY_TIMEOUT_MS, "a failed model update is reported");
        quiet(since, [](const Bytes& m) { return m[0] == 0x0D; }, 500, "a failed model update reports no progress",
              "progress");

        controlOk("mute update", "mute update");
        since = mark();
        send({0x0C});
        quiet(since, [](const Bytes& m) { return m[0] == 0x0D || m == Bytes{0x0C, 0x00} || m == Bytes{0x0C, 0xF0}; },
              1500, "a silent model update reports nothing", "update report");

        sync();
        const std::string image = server_.path("model.bin");
        const bool aside = std::rename(image.c_str(), (image + ".aside").c_str()) == 0;
        if (::mkdir(image.c_str(), 0755) == 0) {
            report_.count("fault: model.bin unwritable");
            since = mark();
            allow(0x0C, 0xEE, REPLY_TIMEOUT_MS);
            send({0x0C});
            expectExact(since, {0x0C, 0xEE}, REPLY_TIMEOUT_MS, "an unwritable model.bin is a file error");
            ::rmdir(image.c_str());
        }
        if (aside) std::rename((image + ".aside").c_str(), image.c_str());

        controlOk("no-config 1", "no-config 1");
        since = mark();
        allow(0x0C, 0xF1, REPLY_TIMEOUT_MS);
        send({0x0C});
        expectExact(since, {0x0C, 0xF1}, REPLY_TIMEOUT_MS, "model update without configuration object is refused");
        controlOk("no-config 0");
    }
}

void Conductor::oneGestureChecks() {
    // One gesture selected: nothing to train, nothing touched; an image of the
    // wrong shape is not sent and leaves model.bin empty.
    const std::string weightsBefore = readFile(server_.path("W&B.txt"));
    uint64_t since = mark();
    allow(0x05, 0x00, REPLY_TIMEOUT_MS);
    send({0x05, CHANNEL_MASK, 0x01});
    if (!expectExact(since, {0x05, 0x00}, REPLY_TIMEOUT_MS, "the EMG stream is configured")) return;
    configured_ = false;
    since = mark();
    send({0x0A});
    quiet(since, is({0x0A, 0x00}), 1500, "generation with one gesture is refused", "[0a 00]");
    report_.check(readFile(server_.path("W&B.txt")) == weightsBefore, "a refused generation leaves W&B.txt alone");
    if (!weightsBefore.empty()) {
        since = mark();
        send({0x0C});
        quiet(since, [](const Bytes& m) { return m[0] == 0x0D || m == Bytes{0x0C, 0x00}; }, 1000,
              "a model of another shape is not sent", "update report");
        report_.check(readFile(server_.path("model.bin")).empty(), "a model of another shape leaves model.bin empty");
    }
    configure();
}
