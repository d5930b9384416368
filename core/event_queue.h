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
// loop (dispatchRecord, app/app.cpp) calls every handler on the main thread.
//
//   APP_CLIENT_EVT [0, message...]
//       from WebSocket onMessage, client/ (serverThread)
//       to   handleClientCommands, commands/dispatcher
//   HUB_EVT [1, code, status]
//       from postHubEvent: listener callbacks and SDK completions (sdkPollThread),
//            device operations that find no armband (main)
//       to   handleHubEvents, armband/hub_events, which forwards [code, status]
//   TIMER_EVT [2, timerId]
//       from recordTimerExpired, core/timer (timerThread)
//       to   handleTimerEvents, commands/recording
//   INTERNAL_EVT [3, job]
//       from handleTimerEvents (main)
//       to   handleInternalEvents, commands/recording
//   WATCH_EVT [5]
//       from the WebSocket server when the number of watching consoles changes (serverThread)
//       to   the main loop, whose updateWatchStream (armband/watch_stream) follows the count
//   EXIT_EVT [4]
//       from exitApplication: client EXIT (main), the signal thread, hub state 3 (sdkPollThread)
//       to   the main loop, which then ends
//
// identifyQueue carries plain windows of EMG bytes from routeEmgPacket
// (sdkPollThread) to identifyThread, its only consumer.
enum EventType : uint8_t {
    APP_CLIENT_EVT = 0,
    HUB_EVT = 1,
    TIMER_EVT = 2,
    INTERNAL_EVT = 3,
    EXIT_EVT = 4,
    WATCH_EVT = 5,
};

class EventQueue {
public:
    void push(EventRecord record);
    // Pushes only while the queued records, this one included, take at most
    // maxBytes (each counted as its bytes plus RECORD_OVERHEAD_BYTES); false,
    // with nothing queued, otherwise. For producers fed from outside.
    bool pushWithin(EventRecord record, size_t maxBytes);
    // Blocks until a record is queued, then removes and returns the oldest.
    EventRecord pop();

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<EventRecord> records_;
    size_t queuedBytes_ = 0;  // of records_, counted as pushWithin counts them
};

// What one queued record costs besides its bytes: the shared control block,
// the vector and the queue's slot, rounded up.
constexpr size_t RECORD_OVERHEAD_BYTES = 64;

EventRecord makeRecord(std::initializer_list<uint8_t> bytes);
EventRecord makeRecord(uint8_t type, const uint8_t* payload, size_t length);

extern EventQueue eventQueue;
extern EventQueue identifyQueue;
