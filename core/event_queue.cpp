#include "core/event_queue.h"

EventQueue eventQueue;
EventQueue identifyQueue;

namespace {

size_t costOf(const EventRecord& record) {
    return (record ? record->size() : 0) + RECORD_OVERHEAD_BYTES;
}

}  // namespace

void EventQueue::push(EventRecord record) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queuedBytes_ += costOf(record);
        records_.push_back(std::move(record));
    }
    ready_.notify_all();
}

bool EventQueue::pushWithin(EventRecord record, size_t maxBytes) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const size_t cost = costOf(record);
        if (queuedBytes_ + cost > maxBytes) return false;
        queuedBytes_ += cost;
        records_.push_back(std::move(record));
    }
    ready_.notify_all();
    return true;
}

EventRecord EventQueue::pop() {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [this] { return !records_.empty(); });
    EventRecord record = std::move(records_.front());
    records_.pop_front();
    queuedBytes_ -= costOf(record);
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
