// The broadcast path in-process: the server's own WebSocket thread listens on
// port 8888 (which must be free), N loopback clients connect, and each
// iteration is one 33-byte EMG preview handed to sendToClients and read by
// every client. It measures the hand-over to the server thread, the fan-out
// and the loopback delivery, without the armband stand-in and the main loop.
// The counter "allocs" counts heap allocations per message in the whole
// process (the clients allocate nothing per message).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "bench/alloc_counter.h"
#include "bench/loopback_client.h"
#include "bench/redirect_stdout.h"
#include "client/ws_server.h"

namespace {

std::vector<std::unique_ptr<LoopbackClient>> clients;

// Waits until the server counts `count` clients, and a little longer for its
// log line, which follows the count (standard output is redirected meanwhile).
bool waitForClientCount(size_t count) {
    const int64_t deadline = monotonicNs() + 3000000000LL;
    while (connectedClients() != static_cast<int>(count)) {
        if (monotonicNs() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return true;
}

// Connects clients until `count` are connected, and the server has seen them all.
bool connectClients(size_t count) {
    RedirectStdout quiet;  // the server logs every connection
    while (clients.size() < count) {
        auto client = std::make_unique<LoopbackClient>();
        if (!client->connect(SERVER_PORT, 3000)) return false;
        clients.push_back(std::move(client));
    }
    return waitForClientCount(count);
}

void BM_Broadcast(benchmark::State& state) {
    const size_t count = static_cast<size_t>(state.range(0));
    if (!connectClients(count)) {
        state.SkipWithError("clients could not connect");
        return;
    }
    std::vector<LoopbackClient*> readers;
    for (size_t i = 0; i < count; ++i) readers.push_back(clients[i].get());
    std::vector<uint8_t> preview(33);
    preview[0] = 0x07;
    for (size_t i = 1; i < preview.size(); ++i) preview[i] = static_cast<uint8_t>(120 + i % 7);
    std::vector<int> received(count);
    size_t complete = 0;
    bool failed = false;

    const uint64_t before = allocationCount();
    for (auto _ : state) {
        std::fill(received.begin(), received.end(), 0);
        complete = 0;
        sendToClients(preview.data(), static_cast<uint8_t>(preview.size()));
        const bool ok = pollClients(
            readers, monotonicNs() + 5000000000LL,
            [&](size_t client, const uint8_t*, size_t, int64_t) {
                if (received[client]++ == 0) ++complete;
            },
            [&] { return complete == count; });
        if (!ok) {
            failed = true;
            break;
        }
    }
    if (failed) {
        state.SkipWithError("a preview did not arrive");
        return;
    }
    state.counters["allocs"] =
        benchmark::Counter(static_cast<double>(allocationCount() - before), benchmark::Counter::kAvgIterations);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * count));
}
BENCHMARK(BM_Broadcast)->ArgName("clients")->Arg(1)->Arg(10)->Arg(100)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    {
        RedirectStdout quiet;  // the server thread logs its start and every connection
        std::thread(serverThread).detach();
        LoopbackClient probe;
        if (!probe.connect(SERVER_PORT, 5000) || !waitForClientCount(1)) {
            std::fprintf(stderr, "broadcast_bench: the server did not listen on port %d (is it taken?)\n", SERVER_PORT);
            std::fflush(nullptr);
            std::_Exit(1);
        }
        probe.close();
        waitForClientCount(0);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The server thread never returns: end without static destruction, as the server does.
    std::fflush(nullptr);
    std::_Exit(0);
}
