// Byte records and the blocking queue that carries them between threads.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <vector>

// A complete record, never modified once pushed. On eventQueue byte 0 is the
// event type; on identifyQueue a record is a plain window of EMG bytes.
using EventRecord = std::shared_ptr<std::vector<uint8_t>>;

// Who produces each record on eventQueue and which handler takes it; the main
// loop (dispatchRecord, core/app.cpp) calls every handler on the main thread.
//
//   type          record        produced by (thread)                       handled by
//   APP_CLIENT_EVT [0, msg...]  WebSocket onMessage, client/ (serverThread)  handleClientCommands, commands/dispatcher
//   HUB_EVT       [1, code, st] postHubEvent: listener callbacks and SDK     handleHubEvents, armband/hub_events
//                               completions (sdkPollThread); device          (forwards [code, st] to the clients)
//                               operations without an armband (main)
//   TIMER_EVT     [2, timerId]  recordTimerExpired, core/timer (timerThread) handleTimerEvents, commands/recording
//   INTERNAL_EVT  [3, job]      handleTimerEvents (main)                     handleInternalEvents, commands/recording
//   EXIT_EVT      [4]           exitApplication: client EXIT (main), signal  the main loop, which then ends
//                               thread, hub state 3 (sdkPollThread)
//
// identifyQueue carries plain windows of EMG bytes from routeEmgPacket
// (sdkPollThread) to identifyThread, its only consumer.
enum EventType : uint8_t {
    APP_CLIENT_EVT = 0,
    HUB_EVT = 1,
    TIMER_EVT = 2,
    INTERNAL_EVT = 3,
    EXIT_EVT = 4,
};

class EventQueue {
public:
    void push(EventRecord record);
    // Blocks until a record is queued, then removes and returns the oldest.
    EventRecord pop();

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<EventRecord> records_;
};

EventRecord makeRecord(std::initializer_list<uint8_t> bytes);
EventRecord makeRecord(uint8_t type, const uint8_t* payload, size_t length);

extern EventQueue eventQueue;
extern EventQueue identifyQueue;
