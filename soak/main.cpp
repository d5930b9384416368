// emgbridge_soak [SECONDS]: the real server under 100 clients, malformed traffic and injected armband faults for
// SECONDS (default $SOAK_SECONDS, else 300), then the checks that it came out intact (exit code 0).
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <random>
#include <thread>

#include "soak/conductor.h"

namespace {

// Long enough that GET_VERSION replies are cut at 255 bytes.
const VersionTexts VERSIONS{"soak-fw-" + std::string(110, 'f'), "soak-hw-" + std::string(140, 'h')};

// 10 s of 8 channels, rest and holds in turn (two strong channels and a weaker one per gesture), so that a model
// can be generated from the start.
std::string seedRecording(unsigned gesture) {
    std::mt19937 random(1000 + gesture);
    std::normal_distribution<double> noise(0.0, 1.0);
    const unsigned first = 2 * (gesture - 1);
    std::string bytes;
    for (unsigned f = 0; f < 6496; ++f) {  // whole packets of 16 frames
        for (unsigned c = 0; c < 8; ++c) {
            const double spread = (f / 975) % 2 == 0 ? 1 : c == first || c == first + 1 ? 28 : c == first + 2 ? 10 : 2;
            bytes += static_cast<char>(
                static_cast<uint8_t>(std::clamp(std::round(123 + spread * noise(random)), 0.0, 255.0)));
        }
    }
    return bytes;
}

// A fifth's baseline is the mean of its lower half (bursts of large messages come and go, a leak lifts it); the
// last fifth's may exceed the middle one's by 5 % + 4 MiB.
std::string judgeMemory(Report& report, std::vector<double> kb) {
    const size_t n = kb.size();
    auto baseline = [&](size_t fifth) {
        const auto from = kb.begin() + fifth * n / 5, to = kb.begin() + (fifth + 1) * n / 5,
                   half = from + (to - from + 1) / 2;
        std::nth_element(from, half, to);
        return from == to ? 0 : std::accumulate(from, half, 0.0) / (half - from) / 1024;
    };
    const double first = n ? kb.front() / 1024 : 0, last = n ? kb.back() / 1024 : 0;
    const double middleBase = baseline(2), lastBase = baseline(4), allowed = middleBase * 0.05 + 4;
    char text[160];
    std::snprintf(text, sizeof text,
                  "%zu samples, %.1f MiB at first, %.1f at the end; baseline %.1f -> %.1f (allowed +%.1f)", n, first,
                  last, middleBase, lastBase, allowed);
    report.check(n >= 10 && lastBase - middleBase <= allowed, "the server's memory has stopped growing", text);
    return text;
}

// New clients' PINGs are answered within 100 ms.
std::string pingAtTheEnd(Report& report) {
    std::string latencies;
    for (int i = 0; i < 5; ++i) {
        WsClient client;
        report.check(client.connect(wsPort, 3000), "a new client can connect at the end");
        const int64_t sent = nowMs();
        const bool answered = client.send({0x01}) && client.waitForCode(0x01, 1000) == Bytes{0x01, 0x00};
        const int64_t ms = nowMs() - sent;
        report.check(answered && ms <= 100, "a new client's PING is answered within 100 ms",
                     std::to_string(ms) + " ms");
        latencies += answered ? " " + std::to_string(ms) + " ms" : " none";
    }
    return latencies;
}

}  // namespace

int wsPort = 0;
int controlPort = 0;

int main(int argc, char** argv) {
    const char* text = argc > 1 ? argv[1] : std::getenv("SOAK_SECONDS");
    const long seconds = text && *text ? std::atol(text) : 300;
    if (seconds < 20 || seconds > 86400)
        return std::fprintf(stderr, "usage: emgbridge_soak [SECONDS]  (20..86400; default $SOAK_SECONDS or 300)\n"), 2;
    const int64_t deadline = nowMs() + seconds * 1000;
    Report report;
    ControlClient control;
    const std::string workDir = makeTempDir("emgbridge-soak");
    note("soak: " + std::to_string(seconds) + " s, 100 clients, work dir " + workDir);
    ServerProcess server(workDir);
    wsPort = server.port();
    controlPort = server.controlPort();
    Conductor conductor(report, server, VERSIONS);
    for (unsigned g = 1; g <= 3; ++g) report.check(conductor.seed(g, seedRecording(g)), "the work dir can be prepared");
    report.check(
        report.failed() == 0 && server.start() && server.countInLog("uWS failed to listen") == 0 && control.connect(controlPort) &&
            control.command("versions " + VERSIONS.firmware + " " + VERSIONS.hardware) == "ok" && conductor.open(),
        "the server starts and its endpoints answer", "see " + workDir + "/server.log");
    if (report.failed() > 0) return report.print({}), 1;

    std::atomic<bool> stop{false};
    std::thread background(runBackground, std::ref(report), std::cref(VERSIONS), 99, std::cref(stop));
    conductor.run(deadline);
    note("load over; final checks");
    stop = true;
    background.join();
    report.check(server.running(), "the server is still running after the load");
    conductor.finish();
    std::error_code error;
    report.print(
        {"PING latencies at the end:" + pingAtTheEnd(report),
         "memory (VmRSS): " + judgeMemory(report, conductor.memoryKb()),
         "server log: " + std::to_string(std::filesystem::file_size(workDir + "/server.log", error) >> 10) + " KiB"});
    if (report.failed() == 0 && std::getenv("SOAK_KEEP") == nullptr) std::filesystem::remove_all(workDir);
    return report.failed() == 0 ? 0 : 1;
}
