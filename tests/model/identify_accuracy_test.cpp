// Identification accuracy on the virtual subject: train on one 30 s recording of each of six gestures, then hold
// each gesture for 10 s, three times in a new random order each round, with rest in between, and measure the share
// of hold time during which the reported result named the held gesture.
#include <algorithm>
#include <random>

#include "tests/model/subject_stream.h"
#include "tests/model/temp_dir.h"

using IdentifyAccuracy = InTempDir;

TEST_F(IdentifyAccuracy, VirtualSubjectHoldsAreIdentified) {
    constexpr int GESTURES = 6;
    kv::sim::VirtualSubject subject(2026);
    for (int g = 1; g <= GESTURES; ++g) {
        const std::string recording = subjectStream(subject, 0xFF, {{g, 3}, {0, 2}}, 30);
        ASSERT_EQ(
            extractFeatures(std::to_string(g), reinterpret_cast<const uint8_t*>(recording.data()), recording.size(), 8),
            0);
    }
    ASSERT_EQ(trainModel(GESTURES, 8), 0);
    StreamIdentifier live;
    uint8_t reported = 0xFF;
    int lastResult = 0xFF;
    long holdFrames = 0, correctFrames = 0;
    // Frame by frame, as the armband's packets would come.
    const auto run = [&](int gesture, int seconds) {
        const std::string frames = subjectStream(subject, 0xFF, {{gesture, seconds}}, seconds);
        for (size_t at = 0; at < frames.size(); at += 8) {
            const std::optional<int> result = live.feed(reinterpret_cast<const uint8_t*>(&frames[at]), 8);
            if (result && *result != lastResult) reported = gestureForClass(lastResult = *result, 0x3F);
            holdFrames += gesture != 0;
            correctFrames += gesture != 0 && reported == gesture;
        }
    };
    std::mt19937 order(7);
    std::vector<int> gestures{1, 2, 3, 4, 5, 6};
    for (int round = 0; round < 3; ++round) {
        std::shuffle(gestures.begin(), gestures.end(), order);
        for (int g : gestures) {
            run(0, 3);
            EXPECT_EQ(reported, 0xFF) << "rest before gesture " << g;
            run(g, 10);
        }
    }
    EXPECT_GE(static_cast<double>(correctFrames) / holdFrames, 0.90) << "of hold time in 18 holds of 10 s";
}
