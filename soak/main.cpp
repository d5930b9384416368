// emgbridge_soak [SECONDS]: the real server under 100 clients, malformed traffic and injected
// armband faults for SECONDS (default $SOAK_SECONDS, else 300), then the checks that it came
// out intact. Exit code 0 only when every check passed.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "soak/background.h"
#include "soak/conductor.h"

namespace {

constexpr int CLIENTS = 100;  // the conductor and the background clients

// Long enough that GET_VERSION replies are cut at 255 bytes.
const VersionTexts VERSIONS{"soak-fw-" + std::string(110, 'f'), "soak-hw-" + std::string(140, 'h')};

// 10 s of 8 channels, rest and holds in turn (two strong channels and a weaker one per
// gesture), so that a model can be generated from the start.
std::string seedRecording(unsigned gesture) {
    std::mt19937 random(1000 + gesture);
    std::normal_distribution<double> noise(0.0, 1.0);
    const unsigned first = 2 * (gesture - 1);
    std::string bytes;
    for (unsigned f = 0; f < 6496; ++f) {  // whole packets of 16 frames
        for (unsigned c = 0; c < 8; ++c) {
            const double spread = (f / 975) % 2 == 0 ? 1 : c == first || c == first + 1 ? 28 : c == first + 2 ? 10 : 2;
            bytes += static_cast<char>(static_cast<uint8_t>(std::clamp(std::round(123 + spread * noise(random)), 0.0, 255.0)));
        }
    }
    return bytes;
}

// The baseline of a fifth of the samples (the mean of its lower half: large messages come and
// go in bursts, a leak lifts it) may exceed the middle fifth's by 5 % + 4 MiB at the end.
std::string judgeMemory(Report& report, const std::vector<double>& samples) {
    const size_t n = samples.size();
    report.check(n >= 10, "memory is sampled every second", std::to_string(n) + " samples");
    auto baseline = [&](size_t fifth) {
        std::vector<double> part(samples.begin() + fifth * n / 5, samples.begin() + (fifth + 1) * n / 5);
        std::sort(part.begin(), part.end());
        part.resize((part.size() + 1) / 2);
        double sum = 0;
        for (double kb : part) sum += kb;
        return part.empty() ? 0 : sum / part.size() / 1024;
    };
    const double middle = baseline(2), last = baseline(4), allowed = middle * 0.05 + 4;
    char text[160];
    std::snprintf(text, sizeof text, "%.1f MiB at first, %.1f at the end, peak %.1f; baseline %.1f -> %.1f (allowed +%.1f)",
                  n ? samples.front() / 1024 : 0, n ? samples.back() / 1024 : 0,
                  n ? *std::max_element(samples.begin(), samples.end()) / 1024 : 0, middle, last, allowed);
    report.check(n >= 10 && last - middle <= allowed, "the server's memory has stopped growing", text);
    return text;
}

// New clients' PINGs are answered within 100 ms.
std::string pingAtTheEnd(Report& report) {
    std::string latencies;
    for (int i = 0; i < 5; ++i) {
        WsClient client;
        report.check(client.connect(8888, 3000), "a new client can connect at the end");
        const int64_t sent = nowMs();
        const bool answered = client.send({0x01}) && client.waitFor([](const Bytes& m) { return m == Bytes{1, 0}; }, 1000);
        const int64_t ms = nowMs() - sent;
        report.check(answered && ms <= 100, "a new client's PING is answered within 100 ms", std::to_string(ms) + " ms");
        latencies += answered ? " " + std::to_string(ms) + " ms" : " none";
    }
    return latencies;
}

}  // namespace

int main(int argc, char** argv) {
    const char* text = argc > 1 ? argv[1] : std::getenv("SOAK_SECONDS");
    char* end = nullptr;
    const long seconds = text && *text ? std::strtol(text, &end, 10) : 300;
    if ((end && *end) || seconds < 20 || seconds > 86400) {
        std::fprintf(stderr, "usage: emgbridge_soak [SECONDS]  (20..86400; default $SOAK_SECONDS or 300)\n");
        return 2;
    }
    const int64_t deadline = nowMs() + seconds * 1000;
    Report report;
    for (int port : {8888, 8889}) {
        ControlClient probe;  // any TCP client will do
        report.check(!probe.connect(port, 0), "the ports are free", "something listens on " + std::to_string(port));
    }
    const std::string workDir = makeTempDir("emgbridge-soak");
    note("soak: " + std::to_string(seconds) + " s, " + std::to_string(CLIENTS) + " clients, work dir " + workDir);
    ServerProcess server(workDir);
    Conductor conductor(report, server, VERSIONS);
    for (unsigned g = 1; g <= 3; ++g) report.check(conductor.seed(g, seedRecording(g)), "the work dir can be prepared");
    const bool started = report.failed() == 0 && server.start() && server.countInLog("uWS failed to listen") == 0;
    report.check(started, "the server starts", "see " + workDir + "/server.log");
    ControlClient control;
    report.check(started && control.connect() && control.command("versions " + VERSIONS.firmware + " " + VERSIONS.hardware) == "ok",
                 "the control endpoint answers");
    report.check(started && conductor.open(), "the conductor connects");
    if (report.failed() > 0) return report.print({}), 1;

    Background background(report, VERSIONS);
    background.start(CLIENTS - 1);
    conductor.run(deadline);
    note("load over; final checks");
    background.stop();
    report.check(server.running(), "the server is still running after the load");
    conductor.finish();
    std::vector<std::string> figures{"PING latencies at the end:" + pingAtTheEnd(report),
                                     "memory (VmRSS): " + judgeMemory(report, conductor.memoryKb())};
    conductor.verifyFiles("raw files hold exactly their known bytes");
    conductor.killDuringRecording();
    for (const auto& [name, value] : report.counters("")) figures.push_back(name + ": " + std::to_string(value));
    std::error_code error;
    figures.push_back("server log: " + std::to_string(std::filesystem::file_size(workDir + "/server.log", error) / 1024) +
                      " KiB in " + workDir);
    report.print(figures);
    if (report.failed() == 0 && std::getenv("SOAK_KEEP") == nullptr) std::filesystem::remove_all(workDir);
    return report.failed() == 0 ? 0 : 1;
}
