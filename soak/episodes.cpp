// The conductor's armband, model and gesture-stream episodes with their faults: failed and silent armband calls,
// an armband out of range, lost or without configuration object, an unwritable model.bin.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <random>

#include "soak/conductor.h"

namespace {

const Bytes CONFIGURE{0x05, 0xFF, 0x07};  // 8 channels, gestures 1-3
constexpr unsigned GESTURES = 3;
const std::string NO_VERSIONS = "0000.005.012//";  // the code byte is '0'

}  // namespace

// Connected and configured, from wherever a failure left the armband.
bool Conductor::ready() {
    if (ready_) return true;
    play({{"present 1", {}, {}, 0, ""}, {"no-config 0", {}, {}, 0, ""}});
    const bool connected = control("status").find("\"state\":3") != std::string::npos ||
                           play({{"", {0x02, 0x00}, {0x02, 0x00}, 0, "scan finds the armband"},
                                 {"", {0x03}, {0x03, 0x00}, 0, "connect reports the connection"}});
    return ready_ = connected && ask(CONFIGURE, {0x05, 0x00}, "the EMG stream is configured");
}

void Conductor::connectionFaults() {
    if (!ready()) return;
    note("episode: connection faults");
    ready_ = false;
    if (!play({{"", {0x03}, {0x03, 0xFF}, 0, "connect while connected is refused"},
               {"fail disconnect", {0x04}, {0x04, 0xFF}, 0, "a refused disconnection is reported"},
               {"", {0x04}, {0x04, 0x00}, 0, "a disconnection is reported"},
               {"", {0x03}, {0x03, 0xFF}, 0, "connect without an armband is refused"},
               {"", CONFIGURE, {0x05, 0xF2}, 0, "configuration without an armband is refused"}})) {
        return;
    }
    if (weightsMatch()) ask({0x0C}, {0x0C, 0xF2}, "model update without an armband is refused");
    ready_ =
        play({{"fail scan", {0x02, 0x01}, {0x02, 0xFF}, 1000, "a scan that cannot start is refused, finds nothing"},
              {"present 0", {0x02, 0x02}, {}, 2000, "nothing is found out of range"},
              {"present 1", {}, {0x02, 0x00}, 0, "the scan goes on until the armband is in range"},
              {"fail connect", {0x03}, {0x03, 0xFF}, 0, "a refused connection is reported"},
              {"fail package-id", {}, {}, 0, ""},  // the server's own calls on connecting
              {"fail notify", {0x03}, {0x03, 0x00}, 0, "connect reports the connection"},
              {"fail emg-config", CONFIGURE, {0x05, 0xF0}, 0, "a refused configuration is reported"},
              {"mute emg-config", CONFIGURE, {}, 1000, "a silent configuration call draws no reply"},
              {"no-config 1", CONFIGURE, {0x05, 0xF1}, 0, "a missing configuration object is reported"},
              {"", {0x30}, Bytes(NO_VERSIONS.begin(), NO_VERSIONS.end()), 0, "versions are empty without one"},
              {"no-config 0", CONFIGURE, {0x05, 0x00}, 0, "the EMG stream is configured"}});
}

void Conductor::dropAndReconnect() {
    if (!ready()) return;
    static std::minstd_rand random(7);
    const std::string reason = std::to_string(random() % 256);
    note("episode: armband lost (reason " + reason + ") and reconnected");
    if (!play({{("drop " + reason).c_str(), {}, {0x04, 0x00}, 0, "a lost armband is reported"}})) return;
    ready_ = false;
    report_.check(control("drop").rfind("error", 0) == 0, "a lost armband cannot be lost again");
    ready();
}

// W&B.txt has one line of 8 weights and a bias per gesture pair.
bool Conductor::weightsMatch() const {
    const std::string weights = readFile(server_.path(MODEL_FILE_NAME));
    return std::count(weights.begin(), weights.end(), '\n') == modelRowsForGestures(GESTURES) &&
           std::count(weights.begin(), weights.end(), ' ') == modelRowsForGestures(GESTURES) * 8;
}

// usable: every gesture has a raw file of one window at least.
void Conductor::generateModel(bool usable) {
    if (!usable) return (void)play({{"", {0x0A}, {}, 2000, "generation without usable recordings fails"}});
    if (!ask({0x0A}, {0x0A, 0x00}, "a model is generated from the recordings")) return;
    report_.count("models generated");
    report_.check(weightsMatch(), "W&B.txt has one line of 8 weights and a bias per gesture pair");
}

void Conductor::updateModel() {
    const uint64_t since = seq_;
    if (!ask({0x0C}, {0x0C, 0x00}, "the model reaches the armband")) return;
    Bytes progress;
    while (const std::optional<Bytes> step = take(since, [](const Bytes& m) { return m[0] == 0x0D; }))
        progress.push_back((*step)[1]);
    report_.check(progress == Bytes{10, 20, 30, 40, 50, 60, 70, 80, 90, 100}, "model update progress comes in order",
                  describe(progress));
    const std::string image = readFile(server_.path(MODEL_IMAGE_FILE_NAME));
    std::string hex;
    for (unsigned char c : image) hex += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
    // 3 rows of 9 floats after the header, padded to 16 bytes, as the armband received it.
    report_.check(image.size() == 160 && image.compare(0, 4, "\xFF\x03\x70\x00", 4) == 0 &&
                      control("status").find("\"modelImage\":\"" + hex + "\"") != std::string::npos,
                  "model.bin holds the image the armband received", std::to_string(image.size()) + " bytes");
    report_.count("models pushed to the armband");
}

void Conductor::updateFaults() {
    if (!weightsMatch()) return;
    play({{"fail update", {0x0C}, {0x0C, 0xF0}, 500, "a failed model update is reported, without progress"},
          {"mute update", {0x0C}, {}, 1500, "a silent model update reports nothing"}});
    sync();
    const std::string image = server_.path(MODEL_IMAGE_FILE_NAME);
    std::rename(image.c_str(), (image + ".aside").c_str());
    if (::mkdir(image.c_str(), 0755) == 0) {
        countFault(report_, "model.bin unwritable");
        ask({0x0C}, {0x0C, 0xEE}, "an unwritable model.bin is a file error");
        ::rmdir(image.c_str());
    }
    std::rename((image + ".aside").c_str(), image.c_str());
    play({{"no-config 1", {0x0C}, {0x0C, 0xF1}, 0, "model update without configuration object is refused"},
          {"no-config 0", {}, {}, 0, ""}});
}

void Conductor::modelFlow() {
    if (!ready()) return;
    note("episode: generate, update, identify");
    generateModel(true);
    if (!weightsMatch()) return;
    updateModel();
    const uint64_t since = seq_;
    send({0x08});
    play({{"", {0x06, 0x01}, {0x06, 0xFF}, 0, "RECORD_START while identifying is refused"},
          {"", {0x10}, {0x10, 0xFC}, 0, "the gesture stream cannot start while identifying"}});
    for (unsigned g = 1; g <= GESTURES; ++g) {
        control("gesture " + std::to_string(g));
        pump(1000);
        control("gesture 0");
        pump(300);
    }
    while (take(since, [](const Bytes& m) { return m[0] == 0x08 && m[1] <= 8; }))
        report_.count("identification results");
    ask({0x09}, {0x08, 0xFD}, "IDENTIFY_STOP stops identification");
}

void Conductor::gestureStream() {
    if (!ready()) return;
    note("episode: the armband's gesture stream");
    static std::minstd_rand random(11);
    send({0x10});
    for (int i = 0; i < 3; ++i) {
        const std::string gesture = std::to_string(random() % 256);
        const uint64_t since = seq_;
        std::string answer;  // refused until the server has switched the notifications on
        for (int attempt = 0; attempt < 25 && answer != "ok"; ++attempt) {
            if ((answer = control("armband-gesture " + gesture)) != "ok") pump(200);
        }
        report_.check(answer == "ok", "gesture notifications are on while streaming", answer);
        if (answer == "ok") countFault(report_, "armband-gesture");
        expect(since, {0x10, static_cast<uint8_t>(std::stoi(gesture))},
               "the armband's gestures are streamed unchanged");
    }
    play({{"", {0x10}, {0x10, 0xFC}, 0, "the gesture stream cannot start twice"},
          {"", {0x06, 0x02}, {0x06, 0xFF}, 0, "RECORD_START while streaming is refused"},
          {"", {0x11}, {0x10, 0xFD}, 0, "GESTURE_STREAM_STOP stops the stream"},
          {"", {0x11, 0x00}, {0x10, 0xFC}, 0, "GESTURE_STREAM_STOP without a stream is refused"}});
    report_.check(control("armband-gesture 1").rfind("error", 0) == 0,
                  "gesture notifications are off after the stream");
}
