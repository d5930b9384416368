#include "soak/soak_run.h"

#include <cstdlib>
#include <filesystem>
#include <string>

#include "soak/conductor.h"
#include "soak/final_checks.h"
#include "soak/injector.h"
#include "soak/ledger.h"
#include "soak/memory_monitor.h"
#include "soak/seed_data.h"
#include "soak/swarm.h"

namespace {

constexpr int CLIENTS = 100;  // the conductor and the background clients
constexpr int SWARM_THREADS = 3;
constexpr unsigned SEED_SECONDS = 10;
constexpr int PING_CLIENTS = 5;
constexpr int64_t PING_LIMIT_MS = 100;
constexpr double MEMORY_GROWTH_RELATIVE = 0.05;
constexpr double MEMORY_GROWTH_KB = 4096;

// Long enough that GET_VERSION replies are cut at 255 bytes.
const VersionTexts VERSIONS{"soak-fw-" + std::string(110, 'f'), "soak-hw-" + std::string(140, 'h')};

// True when something accepts connections on the loopback port.
bool portTaken(int port) {
    ControlClient probe;  // any TCP client will do
    return probe.connect(port, 0);
}

std::string joinCounters(const std::map<std::string, uint64_t>& counters, uint64_t& total) {
    std::string out;
    total = 0;
    for (const auto& [name, value] : counters) {
        out += (out.empty() ? "" : ", ") + name + " " + std::to_string(value);
        total += value;
    }
    return out;
}

void printFigures(Report& report, int seconds, const Ledger& ledger, const std::vector<int64_t>& latencies,
                  const ServerProcess& server) {
    report.figure("clients: " + std::to_string(CLIENTS) + " (1 conductor, " + std::to_string(CLIENTS - 1) +
                  " background), reconnections " + std::to_string(report.counter("client reconnections")) +
                  ", over " + std::to_string(seconds) + " s");
    report.figure("commands sent: " + std::to_string(report.counter("commands sent")) + " (malformed or ignored " +
                  std::to_string(report.counter("malformed commands sent")) + ", of 1 MiB " +
                  std::to_string(report.counter("1 MiB messages sent")) + ", by the conductor " +
                  std::to_string(report.counter("conductor commands sent")) + ")");
    report.figure("malformed frames sent: " + std::to_string(report.counter("malformed frames sent")) +
                  " (connections dropped by the server " +
                  std::to_string(report.counter("malformed connections dropped by the server")) +
                  "); valid but unusual frames: " + std::to_string(report.counter("unusual frames sent")) +
                  "; broken upgrade requests: " + std::to_string(report.counter("broken upgrade requests sent")));
    uint64_t faults = 0;
    const std::string kinds = joinCounters(report.countersWithPrefix("fault: "), faults);
    report.figure("faults injected: " + std::to_string(faults) + " (" + kinds + ")");
    report.figure("replies checked: " + std::to_string(report.counter("replies checked")));
    report.figure("recordings confirmed: " + std::to_string(ledger.confirmations()) + " (" +
                  std::to_string(ledger.bytesConfirmed()) + " bytes); failed saves reported: " +
                  std::to_string(report.counter("failed saves reported")));
    report.figure("models generated " + std::to_string(report.counter("models generated")) + ", pushed " +
                  std::to_string(report.counter("models pushed to the armband")) + "; identification results " +
                  std::to_string(report.counter("identification results")));
    std::string pings;
    for (int64_t ms : latencies) pings += (pings.empty() ? "" : ", ") + (ms < 0 ? "none" : std::to_string(ms) + " ms");
    report.figure("PING latencies at the end: " + pings);
    std::error_code error;
    const auto logSize = std::filesystem::file_size(server.path("server.log"), error);
    report.figure("server log: " + std::to_string(error ? 0 : logSize / 1024) + " KiB in " + server.workDir());
}

}  // namespace

int runSoak(int seconds) {
    Report report;
    const int64_t started = nowMs();
    for (int port : {8888, 8889}) {
        if (portTaken(port)) {
            report.fail("the ports are free", "something already listens on 127.0.0.1:" + std::to_string(port));
            report.print();
            return 1;
        }
    }
    const std::string workDir = makeTempDir("emgbridge-soak");
    note("soak: " + std::to_string(seconds) + " s, " + std::to_string(CLIENTS) + " clients, work dir " + workDir);
    Ledger ledger(report, workDir, PACKET_LENGTH);
    for (unsigned g = 1; g <= GESTURES; ++g) {
        report.check(ledger.seed(g, seedRecording(g, SEED_SECONDS)), "the work dir can be prepared");
    }
    ServerProcess server(workDir);
    if (!server.start() || server.countInLog("uWS failed to listen") > 0) {
        report.fail("the server starts", "no \"uWS server started\" or no port 8888 (see " + workDir + "/server.log)");
        report.print();
        return 1;
    }
    ControlClient control;
    const std::string setVersions = "versions " + VERSIONS.firmware + " " + VERSIONS.hardware;
    report.check(control.connect() && control.command(setVersions) == "ok", "the control endpoint answers");

    MemoryMonitor memory(server.pid());
    memory.start();
    Conductor conductor(report, ledger, server, VERSIONS);
    report.check(conductor.open(), "the conductor connects");
    Swarm swarm(report, VERSIONS, CLIENTS - 1, SWARM_THREADS);
    swarm.start();
    Injector injector(report);
    injector.start();

    conductor.run(started + seconds * 1000LL);
    note("load over; final checks");
    injector.stop();
    swarm.stop();
    memory.stop();
    report.check(server.running(), "the server is still running after the load");
    conductor.finish();
    report.check(server.running(), "the server is still running after the load");
    const std::vector<int64_t> latencies = pingLatencies(report, PING_CLIENTS, PING_LIMIT_MS);
    checkMemory(report, memory.verdict(MEMORY_GROWTH_RELATIVE, MEMORY_GROWTH_KB));
    memory.save(workDir + "/memory.txt");
    ledger.verifyAll("raw files hold exactly their confirmed bytes");
    conductor.killDuringRecording();

    for (const char* name : {"protocol of server messages", "server keeps well-behaved clients",
                             "server drops connections that break the framing", "previews only while recording",
                             "no message the conductor's commands cannot explain", "record replies only when asked for",
                             "conductor connection stays up", "control endpoint takes the background faults",
                             "new clients can connect"}) {
        report.conclude(name);
    }
    printFigures(report, seconds, ledger, latencies, server);
    report.print();
    if (report.failed() == 0 && std::getenv("SOAK_KEEP") == nullptr) {
        std::error_code ignored;
        std::filesystem::remove_all(workDir, ignored);
    }
    return report.failed() == 0 ? 0 : 1;
}
