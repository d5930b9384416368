// The questions a client asks: PING, and GET_VERSION (the server's version and
// the armband's firmware and hardware versions, as text cut to what one reply holds).
#include <map>
#include <string>

#include "armband/kinvo_handle.h"
#include "commands/branches.h"
#include "commands/protocol.h"

namespace {

// Appends bytes while the reply's length still fits its one-byte field; false once they do not.
bool appendWhole(Reply& reply, const uint8_t* bytes, size_t count) {
    if (reply.size() + count > MAX_SERVER_MESSAGE) return false;
    reply.insert(reply.end(), bytes, bytes + count);
    return true;
}

void appendText(Reply& reply, const std::string& text) {
    for (char c : text) {
        const uint8_t byte = static_cast<uint8_t>(c);
        if (!appendWhole(reply, &byte, 1)) return;
    }
}

// The armband's wide text as UTF-8, cut before the first character that does
// not fit whole (wide text of two-byte units is read as UTF-16).
void appendUtf8(Reply& reply, const std::wstring& text) {
    for (size_t k = 0; k < text.size(); ++k) {
        uint32_t code = static_cast<uint32_t>(text[k]);
        if (code >= 0xD800 && code < 0xDC00 && k + 1 < text.size()) {
            const uint32_t low = static_cast<uint32_t>(text[k + 1]);
            if (low >= 0xDC00 && low < 0xE000) {
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                ++k;
            }
        }
        if ((code >= 0xD800 && code < 0xE000) || code > 0x10FFFF) code = 0xFFFD;  // not a character
        uint8_t bytes[4];
        size_t count;
        if (code < 0x80) {
            bytes[0] = static_cast<uint8_t>(code);
            count = 1;
        } else if (code < 0x800) {
            bytes[0] = static_cast<uint8_t>(0xC0 | (code >> 6));
            count = 2;
        } else if (code < 0x10000) {
            bytes[0] = static_cast<uint8_t>(0xE0 | (code >> 12));
            count = 3;
        } else {
            bytes[0] = static_cast<uint8_t>(0xF0 | (code >> 18));
            count = 4;
        }
        for (size_t b = 1; b < count; ++b)
            bytes[b] = static_cast<uint8_t>(0x80 | ((code >> (6 * (count - 1 - b))) & 0x3F));
        if (!appendWhole(reply, bytes, count)) return;
    }
}

}  // namespace

void commandPing(uint8_t length, Reply& reply) {
    reply.push_back(CMD_PING);
    reply.push_back(length == 1 ? STATUS_OK : STATUS_FAIL);
}

void commandGetVersion(Reply& reply) {
    reply.push_back(CMD_GET_VERSION);
    std::map<std::string, std::wstring> versions;
    if (listener) versions = listener->queryVersions();
    appendText(reply, SERVER_VERSION);
    appendText(reply, "/");
    appendUtf8(reply, versions["FW"]);
    appendText(reply, "/");
    appendUtf8(reply, versions["HW"]);
}
