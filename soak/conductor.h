// The one client that changes the server's state, through every episode and its faults. It checks every message
// against the protocol, samples the server's memory, and keeps the ledger of the bytes each raw file holds.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>

#include "core/data_files.h"
#include "soak/report.h"
#include "tools/client_kit/server_process.h"

class Conductor {
public:
    Conductor(Report& report, ServerProcess& server, VersionTexts versions)
        : report_(report), server_(server), versions_(std::move(versions)) {}
    // Writes a raw file before the server starts; its bytes count as known.
    bool seed(unsigned gesture, const std::string& bytes);
    bool open() { return ws_.connect(wsPort, 5000) && control_.connect(controlPort); }
    // Episodes until deadlineMs (nowMs clock); none starts that could not end by then.
    void run(int64_t deadlineMs);
    // Back to idle with no fault order pending, then every raw file must hold its known bytes.
    void finish();
    // The server's resident memory in kB, about once a second.
    const std::vector<double>& memoryKb() const { return memoryKb_; }

private:
    using Match = std::function<bool(const Bytes&)>;
    static constexpr const char* HOLD_KNOWN = "raw files hold exactly their known bytes";
    // A control order, a command, the reply it must draw, and for how long after it no other of that code may come.
    struct Step {
        const char* order;
        Bytes command, reply;
        int quietMs;
        const char* check;
    };
    enum Variant { NORMAL, INTO_DIRECTORY, FULL_DEVICE, IDENTIFY_STOP, MUTED_SWITCH, FAILED_SWITCH, ABANDONED, LOST };

    // conductor.cpp: messages, the plan and the end.
    void send(const Bytes& command);
    void pump(int ms);
    void pumpUntil(const std::function<bool()>& done, int timeoutMs);
    void onMessage(const WsMessage& message);
    std::optional<Bytes> take(uint64_t since, const Match& match);
    bool expect(uint64_t since, const Bytes& reply, const std::string& check);
    bool ask(const Bytes& command, const Bytes& reply, const std::string& check);
    void sync();
    bool play(std::initializer_list<Step> steps);
    std::string control(const std::string& line);
    bool order(const std::string& line);
    // recordings.cpp: recordings and the ledger.
    void checkFile(unsigned gesture, const std::string& bytes, const char* check, const std::string& when);
    void recording(unsigned gesture, Variant variant);
    void sideAction(int step, Variant variant);
    void confirmRecording(size_t fewestBytes, size_t mostBytes);
    // episodes.cpp: the armband, the model and the gesture stream.
    bool ready();
    bool weightsMatch() const;
    void generateModel(bool usable);
    void updateModel();
    void updateFaults();
    void connectionFaults();
    void dropAndReconnect();
    void modelFlow();
    void gestureStream();

    Report& report_;
    ServerProcess& server_;
    VersionTexts versions_;
    WsClient ws_;
    ControlClient control_;
    std::deque<std::pair<uint64_t, Bytes>> inbox_;           // numbered messages, all but PING replies and previews
    uint64_t seq_ = 0;                                       // messages stored so far
    int64_t nextSampleMs_ = 0, hardDeadlineMs_ = INT64_MAX;  // past the hard deadline every wait ends at once
    std::vector<double> memoryKb_;
    bool ready_ = false;  // connected and configured
    size_t nextEpisode_ = 0;
    int refusalsExpected_ = 0;  // [06 ff] refusals still to come
    // The recording under way: its file at RECORD_START, previews, result status (-1 before).
    bool recording_ = false;
    unsigned gesture_ = 0;
    std::string before_;
    std::vector<Bytes> previews_;
    int result_ = -1;
    int64_t startedMs_ = 0, resultMs_ = 0, previewsUntilMs_ = 0;  // previews may trail a recording until then
    std::map<unsigned, std::string> known_;                       // the bytes each raw file is known to hold
};
