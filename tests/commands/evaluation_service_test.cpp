// The background evaluation: pending until the newest generation's result is in,
// and a generation started during an evaluation supersedes it.
#include <gtest/gtest.h>

#include <future>

#include "commands/evaluation_service.h"

namespace {

using namespace std::chrono_literals;

// An evaluator whose first call blocks until released, and which answers with the
// gesture mask it was given.
struct GatedEvaluator {
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> calls{0};

    std::string operator()(const RecordingSet& recordings, uint8_t gestureMask, uint8_t) {
        if (calls++ == 0) {
            entered.set_value();
            released.wait();
        }
        return "{\"mask\":" + std::to_string(gestureMask) + ",\"recordings\":" + std::to_string(recordings.size()) +
               "}";
    }
};

RecordingSet recordingsOf(std::initializer_list<uint8_t> gestures) {
    RecordingSet set;
    for (uint8_t g : gestures) set[g] = std::make_shared<std::vector<uint8_t>>(3, g);
    return set;
}

}  // namespace

TEST(EvaluationService, PendingUntilTheNewestGenerationIsEvaluated) {
    GatedEvaluator gate;
    EvaluationService service([&](const RecordingSet& r, uint8_t g, uint8_t c) { return gate(r, g, c); });
    bool found = true;
    EXPECT_EQ(service.statusJson(found), "");
    EXPECT_FALSE(found);

    service.start(recordingsOf({1, 2}), 0x03, 0xFF);
    ASSERT_EQ(gate.entered.get_future().wait_for(5s), std::future_status::ready);
    EXPECT_EQ(service.statusJson(found), "{\"state\":\"pending\"}");
    EXPECT_TRUE(found);

    // Two generations while the first one is evaluated: only the newest is evaluated next.
    service.start(recordingsOf({1, 2, 3}), 0x07, 0xFF);
    service.start(recordingsOf({1, 3}), 0x05, 0xFF);
    EXPECT_FALSE(service.waitSettled(50ms));
    EXPECT_EQ(service.statusJson(found), "{\"state\":\"pending\"}");

    gate.release.set_value();
    ASSERT_TRUE(service.waitSettled(5s));
    EXPECT_EQ(service.statusJson(found), "{\"mask\":5,\"recordings\":2}");
    EXPECT_EQ(gate.calls.load(), 2);

    service.start(recordingsOf({4, 5}), 0x18, 0xFF);
    ASSERT_TRUE(service.waitSettled(5s));
    EXPECT_EQ(service.statusJson(found), "{\"mask\":24,\"recordings\":2}");
}
