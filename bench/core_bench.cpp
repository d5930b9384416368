// The server's per-event and per-packet paths, without network: event records
// through the blocking queue (one and four producers), the log line, and the
// routing of one raw EMG packet while recording and while identifying.
//
// Allocation counts come from a replaced global operator new (alloc_counter.cpp)
// and are reported per operation as the counter "allocs".
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "armband/emg_routing.h"
#include "bench/alloc_counter.h"
#include "bench/redirect_stdout.h"
#include "commands/protocol.h"
#include "core/emg_geometry.h"
#include "core/event_queue.h"
#include "core/logger.h"
#include "core/operating_state.h"

namespace {

// ---- Event queue -----------------------------------------------------------

// Uncontended cost of one push and one pop of a ready record (no thread wakes).
void BM_EventQueuePushPop(benchmark::State& state) {
    EventQueue queue;
    const EventRecord record = makeRecord({HUB_EVT, MSG_CONNECTED, STATUS_OK});
    const uint64_t before = allocationCount();
    for (auto _ : state) {
        queue.push(record);
        benchmark::DoNotOptimize(queue.pop());
    }
    state.counters["allocs"] =
        benchmark::Counter(static_cast<double>(allocationCount() - before), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_EventQueuePushPop);

// One event as a producer makes it: build the 3-byte record, push, pop, release.
void BM_EventQueueRecordPushPop(benchmark::State& state) {
    EventQueue queue;
    const uint64_t before = allocationCount();
    for (auto _ : state) {
        queue.push(makeRecord({HUB_EVT, MSG_CONNECTED, STATUS_OK}));
        benchmark::DoNotOptimize(queue.pop());
    }
    state.counters["allocs"] =
        benchmark::Counter(static_cast<double>(allocationCount() - before), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_EventQueueRecordPushPop);

// Throughput with P producer threads building and pushing records while the
// consumer (the benchmark thread, as the main loop) pops them; one iteration
// is one record delivered. Producers and consumer contend for the queue's
// mutex, and the consumer sleeps in pop whenever it has caught up.
void BM_EventQueueProducers(benchmark::State& state) {
    const int producers = static_cast<int>(state.range(0));
    EventQueue queue;
    std::atomic<bool> go{false};
    const uint64_t total = static_cast<uint64_t>(state.max_iterations);
    std::vector<std::thread> threads;
    for (int p = 0; p < producers; ++p) {
        const uint64_t share =
            total / static_cast<uint64_t>(producers) + (p == 0 ? total % static_cast<uint64_t>(producers) : 0);
        threads.emplace_back([&queue, &go, share, p] {
            while (!go.load(std::memory_order_acquire)) std::this_thread::yield();
            for (uint64_t i = 0; i < share; ++i)
                queue.push(makeRecord({HUB_EVT, static_cast<uint8_t>(p), static_cast<uint8_t>(i)}));
        });
    }
    bool first = true;
    for (auto _ : state) {
        if (first) {
            go.store(true, std::memory_order_release);
            first = false;
        }
        benchmark::DoNotOptimize(queue.pop());
    }
    for (std::thread& thread : threads) thread.join();
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_EventQueueProducers)->ArgName("producers")->Arg(1)->Arg(4)->UseRealTime();

// Latency of a hand-off to a thread that sleeps in pop: a record goes to an
// echo thread and comes back on a second queue (two wake-ups per iteration).
void BM_EventQueueHandoffRoundTrip(benchmark::State& state) {
    EventQueue there;
    EventQueue back;
    std::thread echo([&] {
        for (;;) {
            EventRecord record = there.pop();
            const bool last = (*record)[0] == EXIT_EVT;
            back.push(std::move(record));
            if (last) return;
        }
    });
    const EventRecord record = makeRecord({HUB_EVT, MSG_CONNECTED, STATUS_OK});
    for (auto _ : state) {
        there.push(record);
        benchmark::DoNotOptimize(back.pop());
    }
    there.push(makeRecord({EXIT_EVT}));
    back.pop();
    echo.join();
}
BENCHMARK(BM_EventQueueHandoffRoundTrip)->UseRealTime();

// ---- Logger ----------------------------------------------------------------

// The line of the main loop for a PING record, as it is formatted.
void BM_FormatLogLine(benchmark::State& state) {
    char line[LOG_LINE_SIZE];
    for (auto _ : state) {
        benchmark::DoNotOptimize(formatLogLine(line, LOG_DEBUG, LOG_TAG, "APP_CLIENT_EVT: %s", "0x01 "));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FormatLogLine);

// logPrint as the server calls it: format, insert into std::cout, end of line
// and flush, which is one write(2) per line. Standard output is redirected for
// the run: to /dev/null (the cost of the call and the system call alone) or
// to a regular file (the server's output redirected to a log, as the tests
// and the end-to-end benchmark run it).
void BM_LogPrintDevNull(benchmark::State& state) {
    const uint64_t before = allocationCount();
    {
        RedirectStdout redirect("/dev/null");
        for (auto _ : state) logPrint(LOG_DEBUG, LOG_TAG, "APP_CLIENT_EVT: %s", "0x01 ");
    }
    state.counters["allocs"] =
        benchmark::Counter(static_cast<double>(allocationCount() - before), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_LogPrintDevNull);

void BM_LogPrintFile(benchmark::State& state) {
    char path[] = "/tmp/emg_log_bench_XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) {
        state.SkipWithError("no temporary file");
        return;
    }
    ::close(fd);
    {
        RedirectStdout redirect(path, O_WRONLY | O_TRUNC);
        int64_t lines = 0;
        for (auto _ : state) {
            logPrint(LOG_DEBUG, LOG_TAG, "APP_CLIENT_EVT: %s", "0x01 ");
            if (++lines % 65536 == 0) {  // keep the file small
                state.PauseTiming();
                if (ftruncate(1, 0) != 0 || lseek(1, 0, SEEK_SET) != 0) state.SkipWithError("truncate failed");
                state.ResumeTiming();
            }
        }
    }
    std::remove(path);
}
BENCHMARK(BM_LogPrintFile);

// ---- EMG packet routing (on the SDK thread) --------------------------------

constexpr size_t PACKET_BYTES = 128;  // 16 frames x 8 channels
constexpr size_t PACKETS_PER_RECORDING = 30 * EMG_FRAMES_PER_SECOND / EMG_FRAMES_PER_PACKET;

std::vector<uint8_t> packetBytes() {
    std::vector<uint8_t> packet(PACKET_BYTES);
    for (size_t i = 0; i < packet.size(); ++i) packet[i] = static_cast<uint8_t>(120 + i % 7);
    return packet;
}

// Recording: the packet is appended to the recording buffer and its preview
// built and handed to sendToClients. No WebSocket server runs in this binary,
// so sendToClients returns at once: the broadcast itself is measured by
// broadcast_bench and e2e_bench.
void BM_RouteEmgPacketRecording(benchmark::State& state) {
    const std::vector<uint8_t> packet = packetBytes();
    {
        std::lock_guard<std::mutex> lock(recordBufferMutex);
        recordBuffer->clear();
    }
    operatingMode = MODE_RECORDING;
    size_t packets = 0;
    const uint64_t before = allocationCount();
    for (auto _ : state) {
        routeEmgPacket(packet.data(), packet.size());
        if (++packets == PACKETS_PER_RECORDING) {  // a new recording starts; the buffer keeps its capacity
            std::lock_guard<std::mutex> lock(recordBufferMutex);
            recordBuffer->clear();
            packets = 0;
        }
    }
    state.counters["allocs"] =
        benchmark::Counter(static_cast<double>(allocationCount() - before), benchmark::Counter::kAvgIterations);
    operatingMode = MODE_IDLE;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * PACKET_BYTES));
}
BENCHMARK(BM_RouteEmgPacketRecording);

// Identifying, 8 channels: the packet is appended to the identification
// buffer; every 65 frames a 1040-byte window is cut and queued (one vector per
// window is the accepted cost). The windows are popped here as the
// identification thread would, so the queue stays short.
void BM_RouteEmgPacketIdentifying(benchmark::State& state) {
    const std::vector<uint8_t> packet = packetBytes();
    const size_t windowLength = 8 * 130;
    identifyWindowLength = static_cast<uint32_t>(windowLength);
    {
        std::lock_guard<std::mutex> lock(identifyBufferMutex);
        identifyBuffer->clear();
    }
    operatingMode = MODE_IDENTIFYING;
    size_t held = 0;  // the buffer's length, followed here to know when a window is cut
    int64_t windows = 0;
    const uint64_t before = allocationCount();
    for (auto _ : state) {
        routeEmgPacket(packet.data(), packet.size());
        held += packet.size();
        if (held > windowLength) {
            held -= windowLength / 2;
            benchmark::DoNotOptimize(identifyQueue.pop());
            ++windows;
        }
    }
    const double allocations = static_cast<double>(allocationCount() - before);
    state.counters["allocs"] = benchmark::Counter(allocations, benchmark::Counter::kAvgIterations);
    state.counters["allocs_per_window"] = windows > 0 ? allocations / static_cast<double>(windows) : 0.0;
    operatingMode = MODE_IDLE;
    identifyWindowLength = 0;
}
BENCHMARK(BM_RouteEmgPacketIdentifying);

}  // namespace

BENCHMARK_MAIN();
