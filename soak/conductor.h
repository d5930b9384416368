// The one client that drives the armband and the recordings. It alone sends
// the commands that change state, orders the faults that affect them, and
// keeps the recording ledger; every message it receives is checked against
// the protocol and against what its own commands allow.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "soak/ledger.h"
#include "soak/peer.h"
#include "soak/reply_rules.h"
#include "soak/report.h"
#include "tools/client_kit/server_process.h"
#include "tools/client_kit/ws_client.h"

using Match = std::function<bool(const Bytes&)>;

// Matches exactly these bytes.
inline Match is(Bytes bytes) {
    return [bytes = std::move(bytes)](const Bytes& m) { return m == bytes; };
}

// How long the conductor waits for a reply: generous, since silent armband
// calls ordered by the soak can block the server's main loop for seconds.
constexpr int REPLY_TIMEOUT_MS = 12000;

// The configuration the conductor keeps: 8 channels, gestures 1-3.
constexpr uint8_t CHANNEL_MASK = 0xFF;
constexpr uint8_t GESTURE_MASK = 0x07;
constexpr unsigned GESTURES = 3;
constexpr size_t PACKET_LENGTH = 128;

class Conductor {
public:
    Conductor(Report& report, Ledger& ledger, ServerProcess& server, VersionTexts versions);
    bool open();

    // Runs episodes until deadlineMs (epoch of nowMs); none starts that could not end by then.
    void run(int64_t deadlineMs);
    // Back to idle with no fault pending, for the final checks.
    void finish();
    // Starts a recording and kills the server with SIGKILL in the middle of it.
    bool killDuringRecording();

private:
    // --- messages (conductor_link.cpp)
    struct Allowance {
        uint8_t code;
        int status;  // -1: any
        int64_t untilMs;
        int remaining;  // -1: any number
    };
    struct Stored {
        uint64_t seq;
        Bytes bytes;
    };
    enum class RecordOutcome { NONE, SAVED, FAILED };

    uint64_t mark() const { return seq_; }
    void send(const Bytes& command);
    void allow(uint8_t code, int status, int ttlMs, int count = 1);
    void pump(int ms);
    // The first message since `since` that matches, within timeoutMs; a
    // failure of checkName when none comes.
    std::optional<Bytes> expect(uint64_t since, const Match& match, int timeoutMs, const std::string& checkName,
                                const std::string& what);
    bool expectExact(uint64_t since, const Bytes& bytes, int timeoutMs, const std::string& checkName);
    // The first stored message since `since` that matches, if one has arrived; no waiting, no check.
    std::optional<Bytes> take(uint64_t since, const Match& match);
    // No matching message for ms; a failure of checkName otherwise.
    bool quiet(uint64_t since, const Match& match, int ms, const std::string& checkName, const std::string& what);
    // A command the server must refuse under 0x06 with 0xFF.
    void expectRecordRefusal(const Bytes& command, const std::string& checkName);
    // Returns once the server has taken every command sent before: [04 00]
    // (a wrong length that only the conductor sends) is answered [04 ff] in
    // turn. Control orders and file changes act at once, while commands can
    // wait behind a blocked main loop; this keeps them in the intended order.
    void sync();
    // A control line; "fault" counts it as an injected fault of that kind and
    // is ordered only after the server has taken the commands sent before it.
    std::string control(const std::string& line, const std::string& fault = "");
    bool controlOk(const std::string& line, const std::string& fault = "");
    void onMessage(const WsMessage& message);
    void onRecordResult(uint8_t status);
    bool allowed(const Bytes& m);

    // --- armband (conductor_armband.cpp)
    bool scanAndConnect();
    bool configure();
    bool ensureReady();
    bool recoverArmband();
    void episodeConnectionFaults();
    void episodeDropAndReconnect();

    // --- recordings (conductor_recording.cpp)
    enum class Variant {
        NORMAL,
        SAVE_INTO_DIRECTORY,
        SAVE_TO_FULL_DEVICE,
        IDENTIFY_STOP,
        MUTED_SWITCH,
        FAILED_SWITCH,
        ABANDONED,  // RECORD_STOP after a few seconds
        LOST,       // the armband is dropped after a few seconds
    };
    void episodeRecording(unsigned gesture, Variant variant);
    // ABANDONED and LOST: no result may follow, not even 30 s later.
    void episodeUnfinishedRecording(unsigned gesture, Variant variant);
    void recordingRefusals();
    bool startRecording(unsigned gesture);
    // The next of the episodes that need an idle server (and start no recording).
    void episodeWhileIdle();
    // Idle episodes that keep the armband connected (a disconnection stops the
    // recording timer, which would hide one left running), until untilMs.
    void idleUntil(int64_t untilMs);
    // Waits until count previews of the recording have arrived: the server has
    // then taken the RECORD_START (commands queue up while its main loop is
    // blocked, but the armband's own events do not wait for them).
    bool awaitPreviews(uint64_t count, int timeoutMs);
    void sideActionsWhileRecording(int64_t elapsedMs, Variant variant, int& done);

    // --- model, identification, gesture stream (conductor_model.cpp)
    bool generatingShouldSucceed() const;
    void generateModel(const std::string& when);
    bool weightsMatch() const;
    void updateModel();
    void episodeModelFlow();
    void episodeModelFaults();
    // Failed, silent and refused model updates; safe in any mode.
    void updateFaults();
    // One gesture selected: no generation, no update, model.bin emptied.
    void oneGestureChecks();
    void episodeIdentify();
    void episodeGestureStream();
    void holdGesture(unsigned gesture);

    Report& report_;
    Ledger& ledger_;
    ServerProcess& server_;
    VersionTexts versions_;
    Peer peer_;
    ControlClient control_;

    uint64_t seq_ = 0;
    std::deque<Stored> inbox_;
    std::vector<Allowance> allowances_;
    int refusalsExpected_ = 0;
    int stopsExpected_ = 0;
    bool recording_ = false;
    int64_t recordStartedMs_ = 0;
    int64_t recordResultMs_ = 0;
    RecordOutcome recordOutcome_ = RecordOutcome::NONE;
    int64_t previewGraceUntilMs_ = 0;
    bool connected_ = false;
    bool configured_ = false;
    size_t nextIdleEpisode_ = 0;
    size_t nextConnectedEpisode_ = 0;
    // Past this, every wait ends at once: the soak ends even if the server stops answering.
    int64_t hardDeadlineMs_ = INT64_MAX;
    uint64_t previewsSeen_ = 0;
    uint64_t repliesChecked_ = 0;  // not yet added to the report
    int64_t nextLifeCheckMs_ = 0;
    bool serverGone_ = false;
};
