#include <algorithm>
#include <initializer_list>

#include "soak/report.h"

namespace {

constexpr size_t LARGEST_MESSAGE = 255;
constexpr size_t LARGEST_PREVIEW = 1 + 4 * 8;  // four frames of at most 8 channels

std::string status(const Bytes& m, std::initializer_list<uint8_t> allowed) {
    if (m.size() != 2) return "a reply of " + std::to_string(m.size()) + " bytes";
    return std::find(allowed.begin(), allowed.end(), m[1]) == allowed.end() ? "a status this code never carries" : "";
}

// The code byte and the text, cut at 255 bytes in all; either armband text may be empty.
std::string version(const Bytes& m, const VersionTexts& v) {
    const std::string text(m.begin() + 1, m.end());
    for (const std::string& fw : {std::string(), v.firmware}) {
        for (const std::string& hw : {std::string(), v.hardware}) {
            if (text == ("000.005.012/" + fw + "/" + hw).substr(0, LARGEST_MESSAGE - 1)) return "";
        }
    }
    return "a version text that is none of the possible ones";
}

}  // namespace

std::string protocolViolation(const WsMessage& message, const VersionTexts& versions) {
    const Bytes& m = message.payload;
    if (message.opcode != 2) return "opcode " + std::to_string(message.opcode) + " instead of binary";
    if (m.empty() || m.size() > LARGEST_MESSAGE) return "a message of " + std::to_string(m.size()) + " bytes";
    switch (m[0]) {
        case 0x01:
        case 0x02:
        case 0x03:
        case 0x04:
            return status(m, {0x00, 0xFF});
        case 0x05:
            return status(m, {0x00, 0xF0, 0xF1, 0xF2, 0xFF});
        case 0x06:
            return status(m, {0x00, 0xFF, 0xFD});
        case 0x07:
            return (m.size() - 1) % 4 == 0 && m.size() <= LARGEST_PREVIEW ? "" : "a preview no packet gives";
        case 0x08:
            return m.size() == 2 && m[1] >= 1 && m[1] <= 8 ? "" : status(m, {0xFF, 0xFD});
        case 0x0A:
            return status(m, {0x00, 0xFF, 0xFD});
        case 0x0C:
            return status(m, {0x00, 0xF0, 0xF1, 0xF2, 0xFF, 0xEE, 0xEF, 0xFD});
        case 0x0D:
            return m.size() == 2 && m[1] <= 100 ? "" : "a progress that is not a percentage";
        case 0x10:
            return m.size() == 2 ? "" : "a gesture message that is not 2 bytes";
        case 0x30:
            return version(m, versions);
        default:
            return "a code the server never sends";
    }
}
