#include "core/event_queue.h"

EventQueue eventQueue;
EventQueue identifyQueue;

void EventQueue::push(EventRecord record) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        records_.push_back(std::move(record));
    }
    ready_.notify_all();
}

EventRecord EventQueue::pop() {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [this] { return !records_.empty(); });
    EventRecord record = std::move(records_.front());
    records_.pop_front();
    return record;
}

EventRecord makeRecord(std::initializer_list<uint8_t> bytes) {
    return std::make_shared<std::vector<uint8_t>>(bytes);
}

EventRecord makeRecord(uint8_t type, const uint8_t* payload, size_t length) {
    auto record = std::make_shared<std::vector<uint8_t>>();
    record->reserve(length + 1);
    record->push_back(type);
    record->insert(record->end(), payload, payload + length);
    return record;
}
