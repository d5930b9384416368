// The armband's raw EMG packet stream: which channels it carries, when each
// packet is due, and what bytes each packet holds (the virtual subject's
// frames, or the bytes of a replayed file first).
//
// Packets are paced by frame count from the moment the stream (re)starts:
// packet k (k = 1, 2, ...) is due at start + k * FRAMES_PER_PACKET / 650 s, so
// the rate never drifts, and a reader that falls behind gets every packet it
// missed. Not thread-safe: the simulation guards it with its own lock.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "sim/virtual_subject.h"

namespace kv::sim {

class EmgStream {
public:
    using Clock = std::chrono::steady_clock;
    using Packet = std::shared_ptr<std::vector<uint8_t>>;

    static constexpr int FRAMES_PER_PACKET = 16;
    static constexpr int SAMPLE_RATE = 650;

    struct DuePacket {
        Clock::time_point due;
        Packet bytes;
    };

    // A new layout restarts the pacing at `now` if the stream is running.
    void configure(uint8_t channelMask, uint16_t dataLength, Clock::time_point now);
    uint8_t channelMask() const { return channelMask_; }
    uint16_t dataLength() const { return dataLength_; }

    // Starting restarts the pacing at `now`; calling with the current state changes nothing.
    void setRunning(bool running, Clock::time_point now);
    bool running() const { return running_; }

    // When the next packet is due; empty while stopped or with data length 0.
    std::optional<Clock::time_point> nextDue() const;

    // Builds the next packet if it is due at `now`.
    std::optional<DuePacket> takeIfDue(Clock::time_point now);

    // These bytes open the stream's next packets, whatever the subject does.
    void replay(std::vector<uint8_t> bytes);
    size_t replayPending() const { return replay_.size() - replayPosition_; }

    uint64_t packetsDelivered() const { return packetsDelivered_; }
    VirtualSubject& subject() { return subject_; }
    const VirtualSubject& subject() const { return subject_; }

private:
    Clock::time_point dueTimeOf(uint64_t packetIndex) const;
    Packet buildPacket();

    VirtualSubject subject_;
    uint8_t channelMask_ = 0;
    uint16_t dataLength_ = 0;
    bool running_ = false;
    Clock::time_point start_{};
    uint64_t packetsSinceStart_ = 0;
    uint64_t packetsDelivered_ = 0;
    std::vector<uint8_t> replay_;
    size_t replayPosition_ = 0;
};

}  // namespace kv::sim
