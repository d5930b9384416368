// The conductor's recordings: 30 s of a gesture held and rested in turn, in every variant; and the ledger's checks.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "soak/conductor.h"

namespace {

constexpr int64_t RECORDING_MS = 30000;
constexpr int64_t RESULT_SLACK_MS = 25000;  // silent stream switches (up to 9 s) and a blocked main loop
constexpr size_t PACKET = 128, FRAME = 8;   // 16 frames of 8 channels
constexpr size_t BYTES_PER_SECOND = EMG_FRAMES_PER_SECOND * FRAME;
constexpr int64_t SIDE_ACTION_MS[] = {1500, 4000, 10000, 12000};
const char* const VARIANTS[] = {"normal",
                                "save into a directory, first stream switch silent",
                                "save to a full device",
                                "ended early by IDENTIFY_STOP",
                                "first stream switch silent",
                                "stream switch failing",
                                "abandoned by RECORD_STOP",
                                "armband lost after a few seconds"};
const char* const NOT_SAVED = "a recording that is not saved leaves its file alone";

}  // namespace

void Conductor::checkFile(unsigned gesture, const std::string& bytes, const char* check, const std::string& when) {
    const std::string now = readFile(server_.path(rawFileName(gesture)));
    report_.check(now == bytes, check,
                  rawFileName(gesture) + " " + when + ": " + std::to_string(now.size()) + " bytes, " +
                      std::to_string(bytes.size()) + " expected");
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
    const std::string path = server_.path(rawFileName(gesture_ = gesture)), name = rawFileName(gesture);
    before_ = readFile(path);
    checkFile(gesture, known_[gesture], HOLD_KNOWN, "before a recording");
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
        return checkFile(gesture, before_, NOT_SAVED, std::string("after: ") + VARIANTS[variant]);
    }
    if (mustFail) {  // something the server cannot append to in place of the file, which waits aside
        std::rename(path.c_str(), (path + ".aside").c_str());
        report_.check(
            variant == FULL_DEVICE ? ::symlink("/dev/full", path.c_str()) == 0 : ::mkdir(path.c_str(), 0755) == 0,
            "the soak can block a raw file", path);
        countFault(report_, variant == FULL_DEVICE ? "save to a full device" : "save into a directory");
    }
    const int64_t until = std::min(startedMs_ + RECORDING_MS + RESULT_SLACK_MS, hardDeadlineMs_);
    for (int64_t hold = 1, step = 0; result_ < 0 && nowMs() < until;) {
        pump(100);
        if (nowMs() - startedMs_ >= hold * 2500) control("gesture " + std::to_string(hold++ % 2 ? gesture : 0));
        if (step < 4 && nowMs() - startedMs_ >= SIDE_ACTION_MS[step]) sideAction(static_cast<int>(step++), variant);
    }
    control("gesture 0");
    if (result_ == 0) pump(500);  // previews of the last packets may trail the result
    if (mustFail && ::unlink(path.c_str()) != 0) ::rmdir(path.c_str());
    if (mustFail) std::rename((path + ".aside").c_str(), path.c_str());
    recording_ = false;
    previewsUntilMs_ = nowMs() + 1500;
    report_.check(result_ >= 0, "every recording ends with a result", name);
    report_.check(result_ < 0 || resultMs_ - startedMs_ >= RECORDING_MS - 500, "a recording lasts 30 s",
                  "result after " + std::to_string(resultMs_ - startedMs_) + " ms");
    report_.check(result_ < 0 || mustFail == (result_ != 0),
                  "a save is reported as failed exactly when it cannot be written",
                  name + ": " + describe({0x06, static_cast<uint8_t>(result_)}));
    report_.count("failed saves reported", result_ > 0);
    if (result_ != 0)
        return checkFile(gesture, before_, NOT_SAVED, result_ < 0 ? "after no result" : "after a failed save");
    // The stream ran at most from RECORD_START to the result; a normal one the whole 30 s.
    confirmRecording(variant == NORMAL ? 29 * BYTES_PER_SECOND : 0,
                     static_cast<size_t>(resultMs_ - startedMs_ + 1000) * BYTES_PER_SECOND / 1000);
}

// What the conductor does at SIDE_ACTION_MS[step] into a recording.
void Conductor::sideAction(int step, Variant variant) {
    if (step == 0) {
        play({{"", {0x06, static_cast<uint8_t>(gesture_)}, {0x06, 0xFF}, 0, "RECORD_START while recording is refused"},
              {"", {0x07, 0x00}, {0x06, 0xFF}, 0, "RECORD_STOP of a wrong length is refused"},
              {"", {0x10}, {0x10, 0xFC}, 0, "the gesture stream cannot start while recording"}});
    }
    if (step == 1 && variant != FULL_DEVICE) generateModel(variant != INTO_DIRECTORY);  // it would read /dev/full
    if (step == 2 && variant == IDENTIFY_STOP) ask({0x09}, {0x08, 0xFD}, "IDENTIFY_STOP ends a recording");
    if (step == 3 && weightsMatch()) updateModel();
    if (step == 3) updateFaults();
}

void Conductor::confirmRecording(size_t fewestBytes, size_t mostBytes) {
    const std::string name = rawFileName(gesture_), now = readFile(server_.path(name));
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
