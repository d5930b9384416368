#include "core/event_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

namespace {

EventRecord numbered(int producer, int index) {
    return makeRecord(
        {static_cast<uint8_t>(producer), static_cast<uint8_t>(index >> 8), static_cast<uint8_t>(index & 0xFF)});
}

}  // namespace

TEST(EventQueue, PopBlocksUntilAnotherThreadPushes) {
    EventQueue queue;
    std::atomic<bool> popped{false};
    EventRecord received;
    std::thread consumer([&] {
        received = queue.pop();
        popped = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(popped);
    queue.push(makeRecord({HUB_EVT, 0x02, 0x00}));
    consumer.join();
    ASSERT_TRUE(received);
    EXPECT_EQ(*received, (std::vector<uint8_t>{HUB_EVT, 0x02, 0x00}));
}

TEST(EventQueue, ConcurrentProducersDeliverEveryRecordOnceAndInTheirOwnOrder) {
    EventQueue queue;
    constexpr int producers = 4;
    constexpr int perProducer = 5000;
    std::vector<std::thread> threads;
    for (int p = 0; p < producers; ++p) {
        threads.emplace_back([&queue, p] {
            for (int i = 0; i < perProducer; ++i) queue.push(numbered(p, i));
        });
    }
    std::vector<int> next(producers, 0);
    for (int n = 0; n < producers * perProducer; ++n) {
        EventRecord record = queue.pop();
        const int producer = (*record)[0];
        const int index = ((*record)[1] << 8) | (*record)[2];
        ASSERT_EQ(index, next[producer]) << "producer " << producer;
        ++next[producer];
    }
    for (auto& thread : threads) thread.join();
    for (int p = 0; p < producers; ++p) EXPECT_EQ(next[p], perProducer);
}

TEST(EventRecord, KeepsEveryByteOfALongMessage) {
    std::vector<uint8_t> message(300);
    for (size_t i = 0; i < message.size(); ++i) message[i] = static_cast<uint8_t>(i);
    EventRecord record = makeRecord(APP_CLIENT_EVT, message.data(), message.size());
    ASSERT_EQ(record->size(), 301u);
    EXPECT_EQ((*record)[0], APP_CLIENT_EVT);
    EXPECT_TRUE(std::equal(message.begin(), message.end(), record->begin() + 1));
}
