// The virtual subject's frames, and live identification over them as the server cuts a stream into windows.
#pragma once

#include <gtest/gtest.h>

#include <bitset>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "model/features.h"
#include "model/identify.h"
#include "model/training.h"
#include "sim/virtual_subject.h"

// `seconds` of the subject's frames on the channels of mask, the (gesture, seconds) steps of plan repeated.
inline std::string subjectStream(kv::sim::VirtualSubject& subject, uint8_t mask,
                                 const std::vector<std::pair<int, int>>& plan, int seconds) {
    std::string bytes;
    uint8_t frame[8];
    for (int f = 0, step = 0, stepEnd = plan[0].second * 650; f < seconds * 650; ++f) {
        for (; f >= stepEnd; stepEnd += plan[step].second * 650) step = (step + 1) % static_cast<int>(plan.size());
        subject.setGesture(plan[step].first);
        subject.nextFrame(mask, frame);
        bytes.append(reinterpret_cast<char*>(frame), std::bitset<8>(mask).count());
    }
    return bytes;
}

// Identifies a stream with the model in the working folder's W&B.txt: packets are appended, and once more than a
// window is held the window is identified and its first half let go, one window per packet at most.
class StreamIdentifier {
public:
    StreamIdentifier() {
        int32_t rows = 0, columns = 0;
        EXPECT_TRUE(readModelShape(rows, columns));
        testing::internal::CaptureStdout();
        EXPECT_EQ(loadIdentifyModel(rows, columns, model, state_), 0);
        testing::internal::GetCapturedStdout();
    }
    // The class number of the window the packet completed, if it did.
    std::optional<int> feed(const uint8_t* packet, size_t length) {
        buffer_.insert(buffer_.end(), packet, packet + length);
        const size_t window = model.channels * WINDOW_FRAMES;
        if (buffer_.size() <= window) return std::nullopt;
        const std::vector<uint8_t> bytes(buffer_.begin(), buffer_.begin() + window);
        buffer_.erase(buffer_.begin(), buffer_.begin() + window / 2);
        return identifyChunk(bytes.data(), state_, model);
    }

    IdentifyModel model;

private:
    IdentifyState state_;
    std::deque<uint8_t> buffer_;
};
