// The conductor's recordings: 30 s of a gesture with the subject holding it
// and resting in turn, saved normally or into a file that cannot take it,
// with the stream switch failing or silent, or ended early by IDENTIFY_STOP;
// and recordings abandoned by RECORD_STOP or a lost armband.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "soak/conductor.h"

namespace {

constexpr int64_t RECORDING_MS = 30000;
// Beyond the 30 s: a silent stream switch (up to 9 s) and a main loop blocked meanwhile.
constexpr int64_t RESULT_SLACK_MS = 25000;
constexpr int64_t HOLD_MS = 2500;
constexpr int PREVIEW_GRACE_MS = 1500;
constexpr size_t STREAM_BYTES_PER_SECOND = 650 * 8;
// A normal recording: the stream runs for the whole 30 s timer, at least.
constexpr size_t FEWEST_NORMAL_BYTES = 29 * STREAM_BYTES_PER_SECOND;

const char* variantName(int variant) {
    static const char* const names[] = {"normal",
                                        "save into a directory, first stream switch silent",
                                        "save to a full device",
                                        "ended early by IDENTIFY_STOP",
                                        "first stream switch silent",
                                        "stream switch failing",
                                        "abandoned by RECORD_STOP",
                                        "armband lost after a few seconds"};
    return names[variant];
}

// Puts something the server cannot append to in place of a raw file; the file waits aside.
struct BlockedFile {
    std::string path;
    bool asideMade = false;
    bool blocked = false;
    bool block(const std::string& file, bool fullDevice) {
        path = file;
        asideMade = std::rename(path.c_str(), (path + ".aside").c_str()) == 0;
        blocked = fullDevice ? ::symlink("/dev/full", path.c_str()) == 0 : ::mkdir(path.c_str(), 0755) == 0;
        return blocked;
    }
    void restore() {
        if (blocked) {
            if (::unlink(path.c_str()) != 0) ::rmdir(path.c_str());
        }
        if (asideMade) std::rename((path + ".aside").c_str(), path.c_str());
        blocked = asideMade = false;
    }
};

}  // namespace

bool Conductor::startRecording(unsigned gesture) {
    ledger_.begin(gesture);
    recording_ = true;
    recordOutcome_ = RecordOutcome::NONE;
    recordStartedMs_ = nowMs();
    send({0x06, static_cast<uint8_t>(gesture)});
    return true;
}

bool Conductor::awaitPreviews(uint64_t count, int timeoutMs) {
    const int64_t deadline = std::min(nowMs() + timeoutMs, hardDeadlineMs_);
    const uint64_t before = previewsSeen_;
    while (previewsSeen_ - before < count && nowMs() < deadline) pump(50);
    const bool arrived = previewsSeen_ - before >= count;
    report_.check(arrived, "a recording streams previews", std::to_string(previewsSeen_ - before) + " previews");
    return arrived;
}

void Conductor::sideActionsWhileRecording(int64_t elapsedMs, Variant variant, int& done) {
    const unsigned gesture = ledger_.pendingGesture();
    if (done == 0 && elapsedMs >= 1500) {
        ++done;
        expectRecordRefusal({0x06, static_cast<uint8_t>(gesture)}, "RECORD_START while recording is refused");
        expectRecordRefusal({0x07, 0x00}, "RECORD_STOP of a wrong length is refused");
        const uint64_t since = mark();
        allow(0x10, 0xFC, REPLY_TIMEOUT_MS);
        send({0x10});
        expectExact(since, {0x10, 0xFC}, REPLY_TIMEOUT_MS, "the gesture stream cannot start while recording");
    } else if (done == 1 && elapsedMs >= 4000) {
        ++done;
        // Model generation works in every mode; it would read /dev/full without end.
        if (variant != Variant::SAVE_TO_FULL_DEVICE) generateModel("while recording");
    } else if (done == 2 && elapsedMs >= 10000) {
        ++done;
        if (variant == Variant::IDENTIFY_STOP) {
            const uint64_t since = mark();
            allow(0x08, 0xFD, REPLY_TIMEOUT_MS);
            send({0x09});
            expectExact(since, {0x08, 0xFD}, REPLY_TIMEOUT_MS, "IDENTIFY_STOP ends a recording");
        }
    } else if (done == 3 && elapsedMs >= 12000) {
        ++done;
        if (weightsMatch()) updateModel();
    } else if (done == 4 && elapsedMs >= 15000) {
        ++done;
        updateFaults();
    }
}

void Conductor::episodeRecording(unsigned gesture, Variant variant) {
    if (!ensureReady()) return;
    note(std::string("episode: recording of gesture ") + std::to_string(gesture) + ", " +
         variantName(static_cast<int>(variant)));
    holdGesture(0);
    // The save into a directory fails anyway: its stream switch may as well be silent once.
    if (variant == Variant::MUTED_SWITCH || variant == Variant::SAVE_INTO_DIRECTORY) {
        controlOk("mute notify", "mute notify");
    }
    if (variant == Variant::FAILED_SWITCH) controlOk("fail notify 3", "fail notify");
    startRecording(gesture);
    BlockedFile blocked;
    const bool saveMustFail = variant == Variant::SAVE_INTO_DIRECTORY || variant == Variant::SAVE_TO_FULL_DEVICE;
    if (saveMustFail) {
        const bool fullDevice = variant == Variant::SAVE_TO_FULL_DEVICE && ::access("/dev/full", W_OK) == 0;
        if (blocked.block(ledger_.path(gesture), fullDevice)) {
            report_.count(fullDevice ? "fault: save to a full device" : "fault: save into a directory");
        } else {
            report_.fail("the soak can block a raw file", ledger_.path(gesture));
        }
    }
    int done = 0;
    int64_t nextHold = nowMs() + HOLD_MS;
    bool holding = false;
    const int64_t deadline = recordStartedMs_ + RECORDING_MS + RESULT_SLACK_MS;
    while (recordOutcome_ == RecordOutcome::NONE && nowMs() < deadline) {
        pump(100);
        if (nowMs() >= nextHold) {
            holding = !holding;
            holdGesture(holding ? gesture : 0);
            nextHold += HOLD_MS;
        }
        sideActionsWhileRecording(nowMs() - recordStartedMs_, variant, done);
    }
    holdGesture(0);
    const RecordOutcome outcome = recordOutcome_;
    if (outcome == RecordOutcome::SAVED) pump(500);  // previews of the last packets may trail the result
    blocked.restore();
    recording_ = false;
    previewGraceUntilMs_ = nowMs() + PREVIEW_GRACE_MS;
    switch (outcome) {
        case RecordOutcome::NONE:
            report_.fail("every recording ends with a result", "none within " +
                                                                   std::to_string(deadline - recordStartedMs_) + " ms");
            ledger_.notSaved("no result");
            break;
        case RecordOutcome::SAVED: {
            report_.check(!saveMustFail, "a save that cannot be written is reported as failed",
                          "[06 00] for raw" + std::to_string(gesture) + ".bin");
            // The stream cannot have run longer than from RECORD_START to the result.
            const size_t most =
                static_cast<size_t>(recordResultMs_ - recordStartedMs_ + 1000) * STREAM_BYTES_PER_SECOND / 1000;
            ledger_.confirm(variant == Variant::NORMAL ? FEWEST_NORMAL_BYTES : 0, most);
            break;
        }
        case RecordOutcome::FAILED:
            report_.check(saveMustFail, "a save that can be written succeeds",
                          "[06 ff] for raw" + std::to_string(gesture) + ".bin");
            ledger_.notSaved("a failed save");
            if (saveMustFail) report_.count("failed saves reported");
            break;
    }
}

void Conductor::recordingRefusals() {
    expectRecordRefusal({0x07}, "RECORD_STOP while idle is refused");
    expectRecordRefusal({0x06}, "RECORD_START of a wrong length is refused");
    expectRecordRefusal({0x06, 0x01, 0x02}, "RECORD_START of a wrong length is refused");
}

void Conductor::episodeUnfinishedRecording(unsigned gesture, Variant variant) {
    if (!ensureReady()) return;
    const bool lose = variant == Variant::LOST;
    note(std::string("episode: recording of gesture ") + std::to_string(gesture) + ", " +
         variantName(static_cast<int>(variant)));
    recordingRefusals();
    startRecording(gesture);
    const int64_t started = recordStartedMs_;
    // A drop before the server has taken RECORD_START would come before the recording.
    const bool streaming = awaitPreviews(20, REPLY_TIMEOUT_MS);
    uint64_t since = mark();
    if (lose && streaming) {
        allow(0x04, 0x00, REPLY_TIMEOUT_MS);
        controlOk("drop 11", "drop");
        if (expectExact(since, {0x04, 0x00}, REPLY_TIMEOUT_MS, "a lost armband is reported")) {
            connected_ = configured_ = false;
        }
    } else {
        ++stopsExpected_;
        send({0x07});
        if (!expectExact(since, {0x06, 0xFD}, REPLY_TIMEOUT_MS, "RECORD_STOP abandons the recording")) {
            stopsExpected_ = 0;
        }
    }
    recording_ = false;
    pump(300);
    ledger_.notSaved(lose ? "a disconnection" : "RECORD_STOP");
    previewGraceUntilMs_ = nowMs() + PREVIEW_GRACE_MS;
    // Its timer must be gone: any record result from now on is unexplained.
    idleUntil(started + RECORDING_MS + 2000);
    ledger_.verifyAll("raw files hold exactly their confirmed bytes");
}
