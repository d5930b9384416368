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
