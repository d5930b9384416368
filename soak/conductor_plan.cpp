// The conductor's plan: recordings and shorter episodes in turn until the
// deadline, then back to a clean idle state; and the kill in mid-recording.
#include <signal.h>

#include "soak/conductor.h"

namespace {

constexpr int64_t RECORDING_SLOT_MS = 34000;
constexpr int64_t SHORT_SLOT_MS = 12000;
constexpr int64_t SHORTEST_SLOT_MS = 5000;
// How long the episodes may overrun the deadline when the server stops answering.
constexpr int64_t OVERRUN_MS = 90000;
constexpr int PREVIEWS_BEFORE_KILL = 10;

}  // namespace

void Conductor::episodeWhileIdle() {
    switch (nextIdleEpisode_++ % 5) {
        case 0: episodeModelFaults(); break;
        case 1: episodeDropAndReconnect(); break;
        case 2: episodeModelFlow(); break;
        case 3: episodeConnectionFaults(); break;
        default: episodeGestureStream(); break;
    }
}

void Conductor::idleUntil(int64_t untilMs) {
    while (untilMs - nowMs() >= SHORT_SLOT_MS && nowMs() < hardDeadlineMs_) {
        switch (nextConnectedEpisode_++ % 3) {
            case 0: episodeGestureStream(); break;
            case 1: episodeModelFaults(); break;
            default: episodeModelFlow(); break;
        }
    }
    pump(static_cast<int>(std::max<int64_t>(0, std::min(untilMs, hardDeadlineMs_) - nowMs())));
}

void Conductor::run(int64_t deadlineMs) {
    hardDeadlineMs_ = deadlineMs + OVERRUN_MS;
    using V = Variant;
    const std::pair<unsigned, Variant> recordings[] = {
        {1, V::NORMAL},        {2, V::ABANDONED},           {1, V::SAVE_INTO_DIRECTORY},
        {2, V::NORMAL},        {3, V::LOST},                {3, V::IDENTIFY_STOP},
        {2, V::SAVE_TO_FULL_DEVICE}, {1, V::FAILED_SWITCH}, {3, V::MUTED_SWITCH},
    };
    size_t nextRecording = 0;
    ensureReady();
    note("armband ready");
    // A first recording at once (a short run has room for one), then every
    // other path once, so that later memory figures compare like with like.
    if (deadlineMs - nowMs() >= RECORDING_SLOT_MS) {
        const auto& [gesture, variant] = recordings[nextRecording++];
        episodeRecording(gesture, variant);
    }
    episodeConnectionFaults();
    episodeModelFlow();
    episodeGestureStream();
    bool idleEpisodeDue = false;
    while (nowMs() < hardDeadlineMs_) {
        const int64_t remaining = deadlineMs - nowMs();
        if ((idleEpisodeDue || remaining < RECORDING_SLOT_MS) && remaining >= SHORT_SLOT_MS) {
            episodeWhileIdle();
            idleEpisodeDue = false;
        } else if (remaining >= RECORDING_SLOT_MS) {
            const auto& [gesture, variant] = recordings[nextRecording++ % std::size(recordings)];
            if (variant == V::ABANDONED || variant == V::LOST) {
                episodeUnfinishedRecording(gesture, variant);  // idle episodes included
            } else {
                episodeRecording(gesture, variant);
                idleEpisodeDue = true;
            }
        } else if (remaining >= SHORTEST_SLOT_MS) {
            // The quickest episodes fill the last seconds.
            if (nextIdleEpisode_ % 2) {
                episodeGestureStream();
            } else {
                episodeDropAndReconnect();
            }
            ++nextIdleEpisode_;
        } else {
            break;
        }
    }
    pump(static_cast<int>(std::max<int64_t>(0, deadlineMs - nowMs())));
}

void Conductor::finish() {
    if (serverGone_) return;
    hardDeadlineMs_ = nowMs() + OVERRUN_MS;
    const uint64_t since = mark();
    allow(0x08, 0xFD, REPLY_TIMEOUT_MS);
    send({0x09});
    expectExact(since, {0x08, 0xFD}, REPLY_TIMEOUT_MS, "the server returns to idle");
    for (const char* op : {"scan", "connect", "disconnect", "emg-config", "notify", "package-id", "hw", "fw", "update"}) {
        control(std::string("fail ") + op + " 0");
    }
    for (const char* op : {"emg-config", "notify", "hw", "fw", "update"}) control(std::string("mute ") + op + " 0");
    control("present 1");
    control("no-config 0");
    holdGesture(0);
    pump(1000);
    pump(0);  // the last counts into the report
}

bool Conductor::killDuringRecording() {
    if (serverGone_) return false;
    hardDeadlineMs_ = nowMs() + OVERRUN_MS;
    if (!ensureReady()) return false;
    ledger_.verifyAll("raw files hold exactly their confirmed bytes");
    note("killing the server with SIGKILL during a recording");
    holdGesture(1);
    startRecording(1);
    awaitPreviews(PREVIEWS_BEFORE_KILL, REPLY_TIMEOUT_MS);
    server_.signal(SIGKILL);
    const int code = server_.wait(5000);
    report_.check(code == 128 + SIGKILL, "the server dies of SIGKILL", "exit code " + std::to_string(code));
    recording_ = false;
    ledger_.notSaved("SIGKILL");
    ledger_.verifyAll("earlier recordings survive SIGKILL during a recording");
    return true;
}
