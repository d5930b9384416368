// Identification accuracy on the virtual subject: train on one 30 s recording
// of each of six gestures, then hold each gesture for 10 s, three times in a
// new random order each round, with rest in between, and measure the share of
// hold time during which the reported result named the held gesture. The
// stream is cut into windows exactly as the server cuts it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <random>

#include "model/features.h"
#include "model/identify.h"
#include "model/training.h"
#include "sim/virtual_subject.h"
#include "tests/model/temp_dir.h"

namespace {

constexpr uint8_t ALL_CHANNELS = 0xFF;
constexpr int CHANNELS = 8;
constexpr int GESTURES = 6;
constexpr uint8_t GESTURE_MASK = 0x3F;
constexpr int FRAME_RATE = 650;

// One 30 s recording: the subject holds the gesture for 3 s and rests for 2 s, in turn.
std::vector<uint8_t> record(kv::sim::VirtualSubject& subject, int gesture) {
    std::vector<uint8_t> bytes(30 * FRAME_RATE * CHANNELS);
    for (int f = 0; f < 30 * FRAME_RATE; ++f) {
        subject.setGesture((f % (5 * FRAME_RATE)) < 3 * FRAME_RATE ? gesture : 0);
        subject.nextFrame(ALL_CHANNELS, &bytes[static_cast<size_t>(f) * CHANNELS]);
    }
    return bytes;
}

// Streams the subject through the identifier and tallies the hold time.
class LiveIdentification {
public:
    LiveIdentification(kv::sim::VirtualSubject& subject, const IdentifyModel& model, IdentifyState& state)
        : subject_(subject), model_(model), state_(state) {}

    void run(int gesture, int seconds) {
        subject_.setGesture(gesture);
        const uint32_t windowLength = CHANNELS * WINDOW_FRAMES;
        uint8_t frame[CHANNELS];
        for (int f = 0; f < seconds * FRAME_RATE; ++f) {
            subject_.nextFrame(ALL_CHANNELS, frame);
            buffer_.insert(buffer_.end(), frame, frame + CHANNELS);
            if (buffer_.size() > windowLength) {
                const std::vector<uint8_t> window(buffer_.begin(), buffer_.begin() + windowLength);
                buffer_.erase(buffer_.begin(), buffer_.begin() + windowLength / 2);
                const int result = identifyChunk(window.data(), state_, model_);
                if (result != lastResult_) {
                    lastResult_ = result;
                    reported_ = gestureForClass(result, GESTURE_MASK);
                }
            }
            if (gesture != 0) {
                ++holdFrames_;
                if (reported_ == gesture) ++correctFrames_;
            }
        }
    }
    double accuracy() const { return holdFrames_ ? static_cast<double>(correctFrames_) / holdFrames_ : 0.0; }
    uint8_t reported() const { return reported_; }

private:
    kv::sim::VirtualSubject& subject_;
    const IdentifyModel& model_;
    IdentifyState& state_;
    std::deque<uint8_t> buffer_;
    int lastResult_ = 0xFF;
    uint8_t reported_ = 0xFF;
    long holdFrames_ = 0;
    long correctFrames_ = 0;
};

using IdentifyAccuracy = InTempDir;

}  // namespace

TEST_F(IdentifyAccuracy, VirtualSubjectHoldsAreIdentified) {
    kv::sim::VirtualSubject subject(2026);
    for (int g = 1; g <= GESTURES; ++g) {
        const std::vector<uint8_t> recording = record(subject, g);
        ASSERT_EQ(extractFeatures(std::to_string(g), recording.data(), recording.size(), CHANNELS), 0);
    }
    ASSERT_EQ(trainModel(GESTURES, CHANNELS), 0);
    int32_t rows = 0;
    int32_t columns = 0;
    ASSERT_TRUE(readModelShape(rows, columns));
    IdentifyModel model;
    IdentifyState state;
    testing::internal::CaptureStdout();
    ASSERT_EQ(loadIdentifyModel(rows, columns, model, state), 0);
    testing::internal::GetCapturedStdout();

    LiveIdentification live(subject, model, state);
    std::mt19937 order(7);
    std::vector<int> gestures{1, 2, 3, 4, 5, 6};
    int holds = 0;
    for (int round = 0; round < 3; ++round) {
        std::shuffle(gestures.begin(), gestures.end(), order);
        for (int g : gestures) {
            live.run(0, 3);
            EXPECT_EQ(live.reported(), 0xFF) << "rest before gesture " << g;
            live.run(g, 10);
            ++holds;
        }
    }
    std::printf("identification accuracy: %.1f%% of hold time (%d holds of 10 s, %d gestures, 8 channels)\n",
                100.0 * live.accuracy(), holds, GESTURES);
    EXPECT_GE(live.accuracy(), 0.90);
}
