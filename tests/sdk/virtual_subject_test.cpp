#include "sim/virtual_subject.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
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

// What the classifier uses: per-channel mean absolute deviation from the baseline.
std::array<double, 8> channelDeviation(VirtualSubject& subject, int frames) {
    std::array<double, 8> mav{};
    for (int f = 0; f < frames; ++f) {
        uint8_t frame[8];
        subject.nextFrame(0xFF, frame);
        for (int c = 0; c < 8; ++c) mav[c] += std::fabs(frame[c] - VirtualSubject::baseline(c)) / frames;
    }
    return mav;
}

std::vector<uint8_t> fullFrames(VirtualSubject& subject, int count) {
    std::vector<uint8_t> bytes(static_cast<size_t>(count) * 8);
    for (int f = 0; f < count; ++f) subject.nextFrame(0xFF, &bytes[static_cast<size_t>(f) * 8]);
    return bytes;
}

void startNewHold(VirtualSubject& subject, int gesture) {
    subject.setGesture(0);
    subject.setGesture(gesture);
}

}  // namespace

TEST(VirtualSubject, RestStaysWellBelowAndEveryHoldWellAboveTheActivityThresholds) {
    VirtualSubject subject(11);
    for (int window = 0; window < 300; ++window) {
        ASSERT_LT(channelSumVariance(subject), 50.0) << "rest window " << window;
    }
    for (int gesture = 1; gesture <= 8; ++gesture) {
        for (int hold = 0; hold < 10; ++hold) {
            startNewHold(subject, gesture);
            for (int window = 0; window < 10; ++window) {
                ASSERT_GT(channelSumVariance(subject), 300.0) << "gesture " << gesture << " hold " << hold;
            }
        }
    }
}

TEST(VirtualSubject, GesturesAreSeparableByChannelDeviationDespiteHoldToHoldVariation) {
    VirtualSubject subject(14);
    std::array<std::array<double, 8>, 9> centroid{};
    for (int gesture = 1; gesture <= 8; ++gesture) {
        for (int hold = 0; hold < 4; ++hold) {
            startNewHold(subject, gesture);
            const auto mav = channelDeviation(subject, 650);
            for (int c = 0; c < 8; ++c) centroid[gesture][c] += mav[c] / 4;
        }
    }
    int correct = 0;
    for (int gesture = 1; gesture <= 8; ++gesture) {
        for (int hold = 0; hold < 5; ++hold) {
            startNewHold(subject, gesture);
            const auto mav = channelDeviation(subject, 130);
            int nearest = 0;
            double nearestDistance = 1e300;
            for (int k = 1; k <= 8; ++k) {
                double distance = 0;
                for (int c = 0; c < 8; ++c) distance += std::pow(mav[c] - centroid[k][c], 2);
                if (distance < nearestDistance) std::tie(nearest, nearestDistance) = std::tie(k, distance);
            }
            correct += nearest == gesture;
        }
    }
    EXPECT_GE(correct, 36) << "of 40";
}

TEST(VirtualSubject, TheSameSeedAndCallsGiveTheSameFrames) {
    VirtualSubject a(21);
    VirtualSubject b(21);
    for (int gesture : {0, 2, 7, 7, 0}) {
        a.setGesture(gesture);
        b.setGesture(gesture);
        ASSERT_EQ(fullFrames(a, 300), fullFrames(b, 300)) << "gesture " << gesture;
    }
    VirtualSubject other(22);
    EXPECT_NE(fullFrames(other, 300), fullFrames(a, 300));

    a.setGesture(6);
    fullFrames(a, 10);
    a.setGesture(0);
    a.reseed(31);
    VirtualSubject fresh(31);
    EXPECT_EQ(fullFrames(a, 300), fullFrames(fresh, 300)) << "reseed starts over";
}

TEST(VirtualSubject, AMaskedFrameHoldsTheSelectedChannelsInAscendingOrder) {
    VirtualSubject full(41);
    VirtualSubject masked(41);
    full.setGesture(5);
    masked.setGesture(5);
    for (int f = 0; f < 50; ++f) {
        uint8_t all[8];
        uint8_t some[3];
        full.nextFrame(0xFF, all);
        masked.nextFrame(0xA4, some);  // channels 2, 5, 7
        ASSERT_EQ(std::vector<uint8_t>(some, some + 3), (std::vector<uint8_t>{all[2], all[5], all[7]}));
    }
}
