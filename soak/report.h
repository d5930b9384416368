// Shared by the soak's threads: named checks, counters, what a server message may look like, the background load.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "tools/client_kit/ws_client.h"

// A progress or failure line, stamped with the seconds since the soak began.
void note(const std::string& text);
// "[06 ff]": the first bytes of a message, for failure details.
std::string describe(const Bytes& bytes);

class Report {
public:
    // A named check passes when none of its calls failed; the first failures are printed at once.
    void check(bool ok, const std::string& name, const std::string& detail = "");
    void count(const std::string& name, uint64_t amount = 1);
    int failed() const;
    // The figures, the counters, the failed checks, then "soak: N passed, M failed".
    void print(const std::vector<std::string>& figures) const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, int> failures_;  // by check name
    std::map<std::string, uint64_t> counters_;
};

// The texts the virtual armband answers version queries with (set by the soak).
struct VersionTexts {
    std::string firmware, hardware;
};
// Empty when a server message can occur, whoever asked for it; otherwise why it cannot.
std::string protocolViolation(const WsMessage& message, const VersionTexts& versions);

// Counts an injected fault by its control line without the numbers ("fail hw 2 5" as "fail hw").
void countFault(Report& report, std::string line);

// The ports of the server under test (free ones, picked by ServerProcess); set before any thread starts.
extern int wsPort;
extern int controlPort;

// Until stop: clients, a thread each, send valid, malformed and oversized commands and frames every 50-200 ms,
// check every message and reconnect; faults that leave the conductor's bookkeeping alone go to the control endpoint.
void runBackground(Report& report, const VersionTexts& versions, int clients, const std::atomic<bool>& stop);
