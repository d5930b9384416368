// Sequences of client frames through the command dispatcher and the event handlers, one record at a time as the
// main loop handles them, with the stand-in hub in this process and its poll loop on its own thread.
//
// Input: frames of [head][length][length bytes]; the low two bits of head choose what the bytes are:
//   0  a client message (an APP_CLIENT_EVT record);  1  a whole event record (type byte, then payload);
//   2  bytes appended to a file commands read (raw1.bin .. raw8.bin, "W&B.txt", model.bin; head >> 2 picks it);
//   3  a raw EMG packet as the armband's data callback gives it, or with no bytes a pause of (head >> 2) * 4 ms
//      while queued records are handled (at most 800 ms per input).
// Every input starts from a fresh hub and listener, the idle state and an empty working folder. EXIT only logs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/app.h"
#include "armband/emg_routing.h"
#include "armband/kinvo_handle.h"
#include "core/event_queue.h"
#include "core/logger.h"
#include "core/operating_state.h"
#include "core/timer.h"
#include "fuzz/fuzz_support.h"
#include "sim/test_hooks.h"

// Defined by the AddressSanitizer runtime when it is linked in.
extern "C" int __lsan_do_recoverable_leak_check() __attribute__((weak));

namespace {

constexpr int MAX_FRAMES = 32;
constexpr int PAUSE_UNIT_MS = 4;
constexpr int MAX_PAUSE_MS = 800;  // in all, per input
constexpr int HUB_MODE = 1;

const char* const FILE_NAMES[] = {"raw1.bin", "raw2.bin", "raw3.bin", "raw4.bin", "raw5.bin",
                                  "raw6.bin", "raw7.bin", "raw8.bin", "W&B.txt",  "model.bin"};
constexpr size_t FILE_COUNT = sizeof FILE_NAMES / sizeof FILE_NAMES[0];

bool insideInput = false;

// As the main loop dispatches one record; an EXIT_EVT does not end the run.
void dispatch(const EventRecord& record) {
    static char dump[HEX_DUMP_SIZE];
    dispatchRecord(record, dump);
    exitRequested = false;
}

// Takes every record queued before this call off the queue (a marker shows where "now" is).
template <typename Handle>
int takeQueued(EventQueue& queue, Handle handle) {
    const EventRecord marker = makeRecord({0xEE});
    queue.push(marker);
    int taken = 0;
    for (;;) {
        EventRecord record = queue.pop();
        if (record == marker) return taken;
        handle(record);
        ++taken;
    }
}

// Handles the queued records and those they queue in turn; bounded, since the hub's thread may keep adding.
void handleQueued() {
    for (int round = 0; round < 4; ++round)
        if (takeQueued(eventQueue, dispatch) == 0) break;
}

// A fresh hub (shutdown drops the connection, the scan and every promised delivery), listener and idle server.
void startInput() {
    hub->shutdown();
    if (listener) hub->unregisterListener(std::weak_ptr<kv::HubListener>(listener));
    listener = std::make_shared<KinvoHandle>(hub);
    hub->registerListener(std::weak_ptr<kv::HubListener>(listener));
    listener->onDeviceDisconnected(nullptr, 0);  // idle: mode, timer, masks and gestures as at start-up
    takeQueued(eventQueue, [](const EventRecord&) {});
    takeQueued(identifyQueue, [](const EventRecord&) {});
    // What a disconnection does not reset: the identification shape and the buffers.
    identifyWindowLength = 0;
    modelRows = 0;
    modelColumns = 0;
    newModelFlag = false;
    {
        std::lock_guard<std::mutex> lock(recordBufferMutex);
        recordBuffer->clear();
        recordBuffer->shrink_to_fit();
    }
    {
        std::lock_guard<std::mutex> lock(identifyBufferMutex);
        identifyBuffer->clear();
    }
    fuzz::clearScratchDir();
    fuzz::check(hub->init(0) == 0, "the stand-in hub cannot open its control endpoint");
}

void pause(int milliseconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    do {
        handleQueued();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (std::chrono::steady_clock::now() < deadline);
}

// The worker threads are detached, as in the server: end without static destruction under them, keeping the exit
// status (an exit from inside an input is a finding). The leak check of AddressSanitizer first: _Exit skips it.
void endWithoutStaticDestruction(int status, void*) {
    if (insideInput) {
        std::fprintf(stderr, "frames fuzz: exit(%d) called while an input was handled\n", status);
        status = 1;
    }
    if (hub) hub->shutdown();
    fuzz::removeScratchDir();
    if (status == 0 && __lsan_do_recoverable_leak_check && __lsan_do_recoverable_leak_check() != 0) status = 1;
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietLog();
    fuzz::enterScratchDir("emgbridge-fuzz-frames");
    kv::sim::setControlPort(0);  // any free port: nothing here steers the armband through it
    hub = kv::HubManager::getHubInstance(CLIENT_NAME);
    if (!hub) std::abort();
    hub->setHubMode(HUB_MODE);
    std::thread(sdkPollThread).detach();
    on_exit(endWithoutStaticDestruction, nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    insideInput = true;
    startInput();
    fuzz::Reader in(data, size);
    int pausedMs = 0;
    for (int frame = 0; frame < MAX_FRAMES && in.left() >= 2; ++frame) {
        const uint8_t head = in.byte();
        const uint8_t length = in.byte();
        size_t got = 0;
        const uint8_t* body = in.bytes(length, got);
        switch (head & 3) {
            case 0: dispatch(makeRecord(APP_CLIENT_EVT, body, got)); break;
            case 1:
                if (got > 0) dispatch(makeRecord(body[0], body + 1, got - 1));
                break;
            case 2: fuzz::writeFile(FILE_NAMES[(head >> 2) % FILE_COUNT], body, got, true); break;
            default: {
                if (got > 0) {
                    listener->onDeviceData(nullptr, 0x80, std::make_shared<std::vector<uint8_t>>(body, body + got));
                    break;
                }
                const int wanted = std::min((head >> 2) * PAUSE_UNIT_MS, MAX_PAUSE_MS - pausedMs);
                if (wanted > 0) pause(wanted);
                pausedMs += std::max(wanted, 0);
                break;
            }
        }
        handleQueued();
    }
    handleQueued();
    insideInput = false;
    return 0;
}
