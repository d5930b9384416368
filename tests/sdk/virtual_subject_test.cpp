#include "sim/virtual_subject.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

using kv::sim::VirtualSubject;

namespace {

// What live identification measures to tell activity: the variance over a
// 130-frame window of the sum over channels of (sample - baseline).
double channelSumVariance(VirtualSubject& subject) {
    std::array<double, 130> sums{};
    double mean = 0;
    for (double& sum : sums) {
        uint8_t frame[8];
        subject.nextFrame(0xFF, frame);
        for (int c = 0; c < 8; ++c) sum += frame[c] - VirtualSubject::baseline(c);
        mean += sum / sums.size();
    }
    double variance = 0;
    for (double sum : sums) variance += (sum - mean) * (sum - mean) / sums.size();
    return variance;
}

std::vector<uint8_t> frames(VirtualSubject& subject, int count) {
    std::vector<uint8_t> bytes(static_cast<size_t>(count) * 8);
    for (size_t f = 0; f < bytes.size(); f += 8) subject.nextFrame(0xFF, &bytes[f]);
    return bytes;
}

}  // namespace

TEST(VirtualSubject, RestStaysWellBelowAndEveryHoldWellAboveTheActivityThresholds) {
    VirtualSubject subject(11);
    for (int window = 0; window < 300; ++window) ASSERT_LT(channelSumVariance(subject), 50.0) << "window " << window;
    for (int gesture = 1; gesture <= 8; ++gesture) {
        for (int hold = 0; hold < 10; ++hold) {
            subject.setGesture(0);
            subject.setGesture(gesture);  // a new hold, with new gains
            for (int window = 0; window < 10; ++window)
                ASSERT_GT(channelSumVariance(subject), 300.0) << "gesture " << gesture << " hold " << hold;
        }
    }
}

TEST(VirtualSubject, TheSameSeedAndCallsGiveTheSameFrames) {
    VirtualSubject a(21);
    VirtualSubject b(21);
    for (int gesture : {0, 2, 7, 7, 0}) {
        a.setGesture(gesture);
        b.setGesture(gesture);
        ASSERT_EQ(frames(a, 300), frames(b, 300)) << "gesture " << gesture;
    }
    VirtualSubject other(22);
    EXPECT_NE(frames(other, 300), frames(a, 300));

    a.setGesture(6);
    frames(a, 10);
    a.setGesture(0);
    a.reseed(31);
    VirtualSubject fresh(31);
    EXPECT_EQ(frames(a, 300), frames(fresh, 300)) << "reseed starts over";
}
