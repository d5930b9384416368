#include "soak/reply_rules.h"

#include <cstdio>
#include <initializer_list>

namespace {

constexpr size_t LARGEST_SERVER_MESSAGE = 255;
constexpr size_t LARGEST_PREVIEW = 1 + 4 * 8;  // four frames of at most 8 channels
constexpr const char* SERVER_VERSION = "000.005.012";

bool oneOf(uint8_t value, std::initializer_list<uint8_t> allowed) {
    for (uint8_t a : allowed) {
        if (a == value) return true;
    }
    return false;
}

std::string statusRule(const Bytes& m, std::initializer_list<uint8_t> allowed) {
    if (m.size() != 2) return "a reply of " + std::to_string(m.size()) + " bytes";
    if (!oneOf(m[1], allowed)) return "a status this code never carries";
    return "";
}

// The reply is the code byte and the text, cut so that the whole is at most 255 bytes.
std::string versionRule(const Bytes& m, const VersionTexts& v) {
    const std::string text(m.begin() + 1, m.end());
    for (const std::string& fw : {std::string(), v.firmware}) {
        for (const std::string& hw : {std::string(), v.hardware}) {
            const std::string full = std::string(SERVER_VERSION) + "/" + fw + "/" + hw;
            if (text == full.substr(0, LARGEST_SERVER_MESSAGE - 1)) return "";
        }
    }
    return "a version text that is none of the possible ones";
}

}  // namespace

std::string describe(const Bytes& bytes) {
    std::string out = "[";
    char hex[4];
    for (size_t i = 0; i < bytes.size() && i < 8; ++i) {
        std::snprintf(hex, sizeof hex, i ? " %02x" : "%02x", bytes[i]);
        out += hex;
    }
    if (bytes.size() > 8) out += " ... (" + std::to_string(bytes.size()) + " bytes)";
    return out + "]";
}

std::string protocolViolation(const WsMessage& message, const VersionTexts& versions) {
    const Bytes& m = message.payload;
    if (message.opcode != 2) return "opcode " + std::to_string(message.opcode) + " instead of binary";
    if (m.empty()) return "an empty message";
    if (m.size() > LARGEST_SERVER_MESSAGE) return "longer than 255 bytes";
    switch (m[0]) {
        case 0x01:
        case 0x02:
        case 0x03:
        case 0x04: return statusRule(m, {0x00, 0xFF});
        case 0x05: return statusRule(m, {0x00, 0xF0, 0xF1, 0xF2, 0xFF});
        case 0x06: return statusRule(m, {0x00, 0xFF, 0xFD});
        case 0x07:
            if ((m.size() - 1) % 4 != 0 || m.size() > LARGEST_PREVIEW) return "a preview of a length no packet gives";
            return "";
        case 0x08:
            if (m.size() == 2 && m[1] >= 1 && m[1] <= 8) return "";
            return statusRule(m, {0xFF, 0xFD});
        case 0x0A: return statusRule(m, {0x00, 0xFF, 0xFD});
        case 0x0C: return statusRule(m, {0x00, 0xF0, 0xF1, 0xF2, 0xFF, 0xEE, 0xEF, 0xFD});
        case 0x0D:
            if (m.size() == 2 && m[1] <= 100) return "";
            return "a progress that is not a percentage";
        case 0x10: return m.size() == 2 ? "" : "a gesture message that is not 2 bytes";
        case 0x30: return versionRule(m, versions);
        default: return "a code the server never sends";
    }
}
