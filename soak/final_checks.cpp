#include "soak/final_checks.h"

#include <cstdio>
#include <string>

#include "tools/client_kit/ws_client.h"

namespace {

constexpr int ANSWER_WAIT_MS = 1000;

std::string megabytes(double kb) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MiB", kb / 1024.0);
    return text;
}

}  // namespace

std::vector<int64_t> pingLatencies(Report& report, int clients, int64_t limitMs) {
    std::vector<int64_t> latencies;
    for (int i = 0; i < clients; ++i) {
        WsClient client;
        if (!client.connect(8888, 3000)) {
            report.fail("a new client can connect at the end", "connection refused");
            latencies.push_back(-1);
            continue;
        }
        const int64_t sent = nowMs();
        client.send({0x01});
        const std::optional<Bytes> reply =
            client.waitFor([](const Bytes& m) { return m == Bytes{0x01, 0x00}; }, ANSWER_WAIT_MS);
        const int64_t latency = reply ? nowMs() - sent : -1;
        latencies.push_back(latency);
        report.check(latency >= 0 && latency <= limitMs, "a new client's PING is answered within 100 ms",
                     latency < 0 ? "no answer" : std::to_string(latency) + " ms");
    }
    return latencies;
}

void checkMemory(Report& report, const MemoryVerdict& v) {
    report.check(v.enoughSamples, "memory is sampled every second", std::to_string(v.samples) + " samples");
    report.check(v.stable, "the server's memory has stopped growing",
                 "baseline of the last fifth " + megabytes(v.lastBaseKb) + " against the middle fifth's " +
                     megabytes(v.middleBaseKb) + " (growth allowed " + megabytes(v.allowedKb) + ")");
    report.figure("memory (VmRSS): start " + megabytes(static_cast<double>(v.firstKb)) + ", end " +
                  megabytes(static_cast<double>(v.lastKb)) + ", peak " + megabytes(static_cast<double>(v.peakKb)) +
                  " (" + std::to_string(v.samples) + " samples, one a second)");
    report.figure("memory, middle fifth -> last fifth: mean " + megabytes(v.middleMeanKb) + " -> " +
                  megabytes(v.lastMeanKb) + ", baseline (lower half) " + megabytes(v.middleBaseKb) + " -> " +
                  megabytes(v.lastBaseKb) + ", growth allowed " + megabytes(v.allowedKb));
}
