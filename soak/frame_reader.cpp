#include "soak/frame_reader.h"

namespace {

constexpr uint64_t LARGEST_FRAME = 16u << 20;

}  // namespace

void FrameReader::append(const uint8_t* data, size_t length) {
    if (offset_ > 0 && offset_ * 2 >= buffer_.size()) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(offset_));
        offset_ = 0;
    }
    buffer_.insert(buffer_.end(), data, data + length);
}

void FrameReader::clear() {
    buffer_.clear();
    offset_ = 0;
    broken_ = false;
    fragmentOpcode_ = 0;
    fragments_.clear();
}

std::optional<WsMessage> FrameReader::next() {
    while (!broken_) {
        const size_t available = buffer_.size() - offset_;
        if (available < 2) return std::nullopt;
        const uint8_t* frame = buffer_.data() + offset_;
        const bool fin = frame[0] & 0x80;
        const int opcode = frame[0] & 0x0F;
        const bool masked = frame[1] & 0x80;
        uint64_t length = frame[1] & 0x7F;
        size_t header = 2;
        if (length == 126 || length == 127) {
            const size_t extra = length == 126 ? 2 : 8;
            if (available < header + extra) return std::nullopt;
            length = 0;
            for (size_t i = 0; i < extra; ++i) length = (length << 8) | frame[header + i];
            header += extra;
        }
        if (length > LARGEST_FRAME || (opcode > 2 && opcode < 8) || opcode > 10) {
            broken_ = true;
            return std::nullopt;
        }
        const size_t maskAt = header;
        if (masked) header += 4;
        if (available < header + length) return std::nullopt;
        Bytes payload(frame + header, frame + header + length);
        if (masked) {
            for (size_t i = 0; i < payload.size(); ++i) payload[i] ^= frame[maskAt + i % 4];
        }
        offset_ += header + static_cast<size_t>(length);
        if (opcode == 9 || opcode == 10) continue;
        if (opcode == 8) return WsMessage{8, std::move(payload)};
        if (opcode != 0) {
            fragmentOpcode_ = opcode;
            fragments_.clear();
        }
        fragments_.insert(fragments_.end(), payload.begin(), payload.end());
        if (!fin) continue;
        WsMessage message{fragmentOpcode_, std::move(fragments_)};
        fragments_.clear();
        return message;
    }
    return std::nullopt;
}
