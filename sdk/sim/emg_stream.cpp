#include "sim/emg_stream.h"

#include <algorithm>
#include <bitset>

namespace kv::sim {

void EmgStream::configure(uint8_t channelMask, uint16_t dataLength, Clock::time_point now) {
    channelMask_ = channelMask;
    dataLength_ = dataLength;
    start_ = now;
    packetsSinceStart_ = 0;
}

void EmgStream::setRunning(bool running, Clock::time_point now) {
    if (running == running_) return;
    running_ = running;
    start_ = now;
    packetsSinceStart_ = 0;
}

EmgStream::Clock::time_point EmgStream::dueTimeOf(uint64_t packetIndex) const {
    // Whole nanoseconds from the start, computed from the frame count so that
    // rounding never accumulates.
    const uint64_t frames = packetIndex * FRAMES_PER_PACKET;
    return start_ + std::chrono::nanoseconds(frames * 1000000000ull / SAMPLE_RATE);
}

std::optional<EmgStream::Clock::time_point> EmgStream::nextDue() const {
    if (!running_ || dataLength_ == 0) return std::nullopt;
    return dueTimeOf(packetsSinceStart_ + 1);
}

std::optional<EmgStream::DuePacket> EmgStream::takeIfDue(Clock::time_point now) {
    const auto due = nextDue();
    if (!due || *due > now) return std::nullopt;
    ++packetsSinceStart_;
    ++packetsDelivered_;
    return DuePacket{*due, buildPacket()};
}

void EmgStream::replay(std::vector<uint8_t> bytes) {
    replay_ = std::move(bytes);
    replayPosition_ = 0;
}

EmgStream::Packet EmgStream::buildPacket() {
    auto packet = std::make_shared<std::vector<uint8_t>>(dataLength_, 0);
    const size_t channels = std::bitset<8>(channelMask_).count();
    // The subject lives through every frame of the packet, even the ones a
    // replay overwrites, so its timeline always follows the stream's.
    uint8_t frame[VirtualSubject::CHANNEL_COUNT];
    for (size_t offset = 0; channels > 0 && offset + channels <= packet->size(); offset += channels) {
        subject_.nextFrame(channelMask_, frame);
        std::copy(frame, frame + channels, packet->begin() + static_cast<std::ptrdiff_t>(offset));
    }
    const size_t fromReplay = std::min(replayPending(), packet->size());
    if (fromReplay > 0) {
        const auto first = replay_.begin() + static_cast<std::ptrdiff_t>(replayPosition_);
        std::copy(first, first + static_cast<std::ptrdiff_t>(fromReplay), packet->begin());
        replayPosition_ += fromReplay;
        if (replayPending() == 0) replay(std::vector<uint8_t>());
    }
    return packet;
}

}  // namespace kv::sim
