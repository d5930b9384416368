// The conductor's recordings: 30 s of a gesture held and rested in turn, saved normally or
// into a file that cannot take it, with the stream switch failing or silent, ended early by
// IDENTIFY_STOP, abandoned by RECORD_STOP or by a lost armband; and the ledger's checks.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "soak/conductor.h"

namespace {

constexpr int64_t RECORDING_MS = 30000;
constexpr int64_t RESULT_SLACK_MS = 25000;  // silent stream switches (up to 9 s) and a blocked main loop
constexpr size_t PACKET = 128, FRAME = 8;   // 16 frames of 8 channels
constexpr size_t BYTES_PER_SECOND = 650 * FRAME;
const char* const VARIANTS[] = {"normal",
                                "save into a directory, first stream switch silent",
                                "save to a full device",
                                "ended early by IDENTIFY_STOP",
                                "first stream switch silent",
                                "stream switch failing",
                                "abandoned by RECORD_STOP",
                                "armband lost after a few seconds"};

}  // namespace

std::string Conductor::rawPath(unsigned gesture) const {
    return server_.path("raw" + std::to_string(gesture) + ".bin");
}

void Conductor::recording(unsigned gesture, Variant variant) {
    if (!ready()) return;
    note("episode: recording of gesture " + std::to_string(gesture) + ", " + VARIANTS[variant]);
    const bool unfinished = variant == ABANDONED || variant == LOST,
               mustFail = variant == INTO_DIRECTORY || variant == FULL_DEVICE;
    control("gesture 0");
    if (variant == MUTED_SWITCH || variant == INTO_DIRECTORY) order("mute notify");
    if (variant == FAILED_SWITCH) order("fail notify 3");
    if (unfinished) {
        play({{"", {0x07}, {0x06, 0xFF}, 0, "RECORD_STOP while idle is refused"},
              {"", {0x06}, {0x06, 0xFF}, 0, "RECORD_START of a wrong length is refused"},
              {"", {0x06, 0x01, 0x02}, {0x06, 0xFF}, 0, "RECORD_START of a wrong length is refused"}});
    }
    const std::string path = rawPath(gesture_ = gesture), name = "raw" + std::to_string(gesture) + ".bin";
    before_ = readFile(path);
    report_.check(before_ == known_[gesture], "raw files hold exactly their known bytes", name + " changed in between");
    previews_.clear();
    result_ = -1;
    recording_ = true;
    startedMs_ = nowMs();
    send({0x06, static_cast<uint8_t>(gesture)});
    if (unfinished) {
        // Previews show that the server took RECORD_START; a drop before would come before the recording.
        pumpUntil([&] { return previews_.size() >= 20; }, 15000);
        report_.check(previews_.size() >= 20, "a recording streams previews", std::to_string(previews_.size()));
        if (variant == LOST) play({{"drop 11", {}, {0x04, 0x00}, 0, "a lost armband is reported"}});
        if (variant == ABANDONED) play({{"", {0x07}, {0x06, 0xFD}, 0, "RECORD_STOP abandons the recording"}});
        ready_ = ready_ && variant != LOST;
        pump(300);
        recording_ = false;
        previewsUntilMs_ = nowMs() + 1500;
        // Its timer must be gone: a result 30 s later would come with no recording to explain it.
        return notSaved(VARIANTS[variant]);
    }
    if (mustFail) {  // something the server cannot append to in place of the file, which waits aside
        std::rename(path.c_str(), (path + ".aside").c_str());
        report_.check(
            variant == FULL_DEVICE ? ::symlink("/dev/full", path.c_str()) == 0 : ::mkdir(path.c_str(), 0755) == 0,
            "the soak can block a raw file", path);
        countFault(report_, variant == FULL_DEVICE ? "save to a full device" : "save into a directory");
    }
    int done = 0;
    for (int64_t hold = 1;
         result_ < 0 && nowMs() < std::min(startedMs_ + RECORDING_MS + RESULT_SLACK_MS, hardDeadlineMs_);) {
        pump(100);
        if (nowMs() - startedMs_ >= hold * 2500) control("gesture " + std::to_string(hold++ % 2 ? gesture : 0));
        sideActions(nowMs() - startedMs_, variant, done);
    }
    control("gesture 0");
    if (result_ == 0) pump(500);  // previews of the last packets may trail the result
    if (mustFail && ::unlink(path.c_str()) != 0) ::rmdir(path.c_str());
    if (mustFail) std::rename((path + ".aside").c_str(), path.c_str());
    recording_ = false;
    previewsUntilMs_ = nowMs() + 1500;
    report_.check(result_ >= 0, "every recording ends with a result", name);
    if (result_ < 0) return notSaved("no result");
    report_.check(resultMs_ - startedMs_ >= RECORDING_MS - 500, "a recording lasts 30 s",
                  "result after " + std::to_string(resultMs_ - startedMs_) + " ms");
    report_.check(mustFail == (result_ != 0), "a save is reported as failed exactly when it cannot be written",
                  name + ": " + describe({0x06, static_cast<uint8_t>(result_)}));
    report_.count("failed saves reported", result_ != 0);
    if (result_ != 0) return notSaved("a failed save");
    // The stream ran at most from RECORD_START to the result; a normal one the whole 30 s.
    confirmRecording(variant == NORMAL ? 29 * BYTES_PER_SECOND : 0,
                     static_cast<size_t>(resultMs_ - startedMs_ + 1000) * BYTES_PER_SECOND / 1000);
}

void Conductor::sideActions(int64_t elapsedMs, Variant variant, int& done) {
    if (done == 0 && elapsedMs >= 1500) {
        play({{"", {0x06, static_cast<uint8_t>(gesture_)}, {0x06, 0xFF}, 0, "RECORD_START while recording is refused"},
              {"", {0x07, 0x00}, {0x06, 0xFF}, 0, "RECORD_STOP of a wrong length is refused"},
              {"", {0x10}, {0x10, 0xFC}, 0, "the gesture stream cannot start while recording"}});
    } else if (done == 1 && elapsedMs >= 4000) {
        if (variant != FULL_DEVICE) generateModel(variant != INTO_DIRECTORY);  // it would read /dev/full without end
    } else if (done == 2 && elapsedMs >= 10000) {
        if (variant == IDENTIFY_STOP) ask({0x09}, {0x08, 0xFD}, "IDENTIFY_STOP ends a recording");
    } else if (done == 3 && elapsedMs >= 12000) {
        if (weightsMatch()) updateModel();
        updateFaults();
    } else {
        return;
    }
    ++done;
}

void Conductor::confirmRecording(size_t fewestBytes, size_t mostBytes) {
    const std::string name = "raw" + std::to_string(gesture_) + ".bin", now = readFile(rawPath(gesture_));
    report_.check(now.compare(0, before_.size(), before_) == 0, "a save appends after the bytes already there", name);
    const std::string added = now.size() > before_.size() ? now.substr(before_.size()) : "";
    report_.check(added.size() % PACKET == 0 && added.size() >= fewestBytes && added.size() <= mostBytes,
                  "a saved recording is whole packets, as long as the stream ran",
                  name + ": " + std::to_string(added.size()) + " bytes appended, expected " +
                      std::to_string(fewestBytes) + " to " + std::to_string(mostBytes));
    // Each packet saved was previewed in turn (frames 0, 4, 8 and 12); a few more may follow the save.
    const size_t packets = added.size() / PACKET;
    bool previewed = previews_.size() >= packets && previews_.size() <= packets + 4;
    for (size_t p = 0; p < packets && previewed; ++p) {
        std::string expected = "\x07";
        for (size_t k = 0; k < 4; ++k) expected += added.substr(p * PACKET + 4 * k * FRAME, FRAME);
        previewed = previews_[p] == Bytes(expected.begin(), expected.end());
    }
    report_.check(
        previewed, "saved bytes are the previewed packets",
        name + ": " + std::to_string(previews_.size()) + " previews for " + std::to_string(packets) + " packets");
    known_[gesture_] = now;
    report_.count("recordings confirmed");
    report_.count("recorded bytes confirmed", added.size());
    note("recording confirmed: " + std::to_string(added.size()) + " bytes appended to " + name);
}

void Conductor::notSaved(const std::string& why) {
    report_.check(readFile(rawPath(gesture_)) == before_, "a recording that is not saved leaves its file alone",
                  "raw" + std::to_string(gesture_) + ".bin changed after: " + why);
}

void Conductor::verifyFiles(const std::string& checkName) {
    for (const auto& [gesture, bytes] : known_) {
        const std::string now = readFile(rawPath(gesture));
        report_.check(now == bytes, checkName,
                      "raw" + std::to_string(gesture) + ".bin: " + std::to_string(now.size()) + " bytes, " +
                          std::to_string(bytes.size()) + " known");
    }
}
