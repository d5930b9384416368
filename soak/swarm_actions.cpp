#include "soak/swarm_actions.h"

#include <string>

#include "soak/frames.h"

namespace {

// Codes whose wrong length only draws a refusal and changes nothing, and whose
// replies the conductor does not rely on.
constexpr uint8_t WRONG_LENGTH_CODES[] = {0x01, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D};
// Codes whose messages are harmless at any length (0x30 is GET_VERSION).
constexpr uint8_t SAFE_LEADS[] = {0x01, 0x30, 0x0B, 0x0D, 0x00, 0x0E, 0x0F, 0x20, 0x41, 0x7F, 0x80, 0xFE};

uint32_t pick(std::minstd_rand& random, uint32_t below) { return static_cast<uint32_t>(random() % below); }

Bytes randomBytes(std::minstd_rand& random, size_t length) {
    Bytes bytes(length);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
}

// 0x00, 0x0E, 0x0F, 0x12-0x2F and 0x31-0xFE draw no reply.
uint8_t ignoredCode(std::minstd_rand& random) {
    for (;;) {
        const uint8_t code = static_cast<uint8_t>(random());
        if (code == 0x00 || code == 0x0E || code == 0x0F || (code >= 0x12 && code <= 0x2F) ||
            (code >= 0x31 && code <= 0xFE)) {
            return code;
        }
    }
}

SwarmAction command(Bytes payload, bool malformed, int opcode = 2) {
    SwarmAction action;
    action.payload = std::move(payload);
    action.malformed = malformed;
    action.opcode = opcode;
    return action;
}

SwarmAction raw(SwarmAction::Kind kind, Bytes bytes, const char* label) {
    SwarmAction action;
    action.kind = kind;
    action.raw = std::move(bytes);
    action.label = label;
    return action;
}

SwarmAction malformedCommand(std::minstd_rand& random) {
    switch (pick(random, 7)) {
        case 0: {  // wrong length of a command whose refusal is harmless
            Bytes bytes{WRONG_LENGTH_CODES[pick(random, sizeof WRONG_LENGTH_CODES)]};
            const Bytes tail = randomBytes(random, 1 + pick(random, 20));
            bytes.insert(bytes.end(), tail.begin(), tail.end());
            return command(bytes, true);
        }
        case 1: return command({}, true);  // empty: ignored
        case 2: {                          // a multiple of 256 bytes counts as empty
            Bytes bytes = randomBytes(random, 256 * (1 + pick(random, 2)));
            bytes[0] = SAFE_LEADS[pick(random, sizeof SAFE_LEADS)];
            return command(bytes, true);
        }
        case 3: {  // 257 bytes count as 1: a PING
            Bytes bytes = randomBytes(random, 257);
            bytes[0] = 0x01;
            return command(bytes, true);
        }
        case 4: {  // 258 bytes count as 2: a MODEL_GENERATE_STOP of the wrong length
            Bytes bytes = randomBytes(random, 258);
            bytes[0] = 0x0B;
            return command(bytes, true);
        }
        default: {  // ignored codes with any tail
            Bytes bytes{ignoredCode(random)};
            const Bytes tail = randomBytes(random, pick(random, 300));
            bytes.insert(bytes.end(), tail.begin(), tail.end());
            return command(bytes, true);
        }
    }
}

SwarmAction unusualFrames(std::minstd_rand& random) {
    switch (pick(random, 5)) {
        case 0: {  // PING in two fragments
            Bytes bytes = maskedFrame(0x02, {0x01}, random);
            const Bytes last = maskedFrame(0x80, {}, random);
            bytes.insert(bytes.end(), last.begin(), last.end());
            return raw(SwarmAction::UNUSUAL_FRAMES, bytes, "fragmented PING");
        }
        case 1: {  // a ping control frame between two fragments of a PING
            Bytes bytes = maskedFrame(0x02, {0x01}, random);
            const Bytes ping = maskedFrame(0x89, {'s', 'o', 'a', 'k'}, random);
            const Bytes last = maskedFrame(0x80, {}, random);
            bytes.insert(bytes.end(), ping.begin(), ping.end());
            bytes.insert(bytes.end(), last.begin(), last.end());
            return raw(SwarmAction::UNUSUAL_FRAMES, bytes, "ping inside a fragmented PING");
        }
        case 2: return raw(SwarmAction::UNUSUAL_FRAMES, maskedFrame(0x82, {0x01}, random, true), "16-bit length of 1");
        case 3: return raw(SwarmAction::UNUSUAL_FRAMES, Bytes{0x82, 0x81, 0, 0, 0, 0, 0x01}, "zero mask");
        default: return raw(SwarmAction::UNUSUAL_FRAMES, maskedFrame(0x89, randomBytes(random, 8), random), "ping frame");
    }
}

SwarmAction refusedFrames(std::minstd_rand& random) {
    switch (pick(random, 11)) {
        case 0: {
            static constexpr uint8_t reserved[] = {3, 4, 5, 6, 7, 11, 12, 13, 14, 15};
            return raw(SwarmAction::EXPECT_DROP, maskedFrame(0x80 | reserved[pick(random, 10)], {0x01}, random),
                       "reserved opcode");
        }
        case 1: {
            static constexpr uint8_t bits[] = {0x40, 0x20, 0x10};
            return raw(SwarmAction::EXPECT_DROP, maskedFrame(0x82 | bits[pick(random, 3)], {0x01}, random),
                       "reserved bits");
        }
        case 2: return raw(SwarmAction::EXPECT_DROP, maskedFrame(0x80, {0x01}, random), "continuation without a start");
        case 3: return raw(SwarmAction::EXPECT_DROP, maskedFrame(0x81, {0xC3, 0x28}, random), "text that is not UTF-8");
        case 4: return raw(SwarmAction::EXPECT_DROP, maskedFrame(0x89, randomBytes(random, 200), random),
                           "control frame over 125 bytes");
        case 5: return raw(SwarmAction::EXPECT_DROP, maskedFrame(0x09, {}, random), "fragmented control frame");
        case 6: {
            Bytes bytes = maskedFrame(0x02, {0x01}, random);
            const Bytes text = maskedFrame(0x81, {'A'}, random);
            bytes.insert(bytes.end(), text.begin(), text.end());
            return raw(SwarmAction::EXPECT_DROP, bytes, "new text message inside a fragmented one");
        }
        case 7: return raw(SwarmAction::EXPECT_DROP, announceFrame(0x82, uint64_t(1) << 63, random), "length of 2^63");
        case 8: {
            static constexpr uint64_t sizes[] = {(16u << 20) + 1, 17u << 20, 64u << 20, uint64_t(1) << 32};
            return raw(SwarmAction::EXPECT_DROP, announceFrame(0x82, sizes[pick(random, 4)], random),
                       "frame announcing over 16 MiB");
        }
        case 9: return raw(SwarmAction::EXPECT_DROP, maskedFrame(0x88, {0x03, 0xE8}, random), "close frame");
        default: return raw(SwarmAction::EXPECT_DROP, maskedFrame(0x88, {0x03, 0xE8, 0xFF}, random), "close frame, bad reason");
    }
}

SwarmAction unfinishedFrames(std::minstd_rand& random) {
    switch (pick(random, 6)) {
        case 0: return raw(SwarmAction::THEN_CLOSE, Bytes{0x82, 0x01, 0x01}, "unmasked frame");
        case 1: return raw(SwarmAction::THEN_CLOSE, Bytes{0x82}, "one header byte");
        case 2: return raw(SwarmAction::THEN_CLOSE, Bytes{0x82, 0xFE, 0x00}, "half a 16-bit length");
        case 3: return raw(SwarmAction::THEN_CLOSE, Bytes{0x82, 0xFF, 0x00, 0x00, 0x00}, "part of a 64-bit length");
        case 4: return raw(SwarmAction::THEN_CLOSE, Bytes{0x82, 0x85, 0x11, 0x22}, "half a mask");
        default: {  // a long message that never completes
            const uint64_t length = 1000 + pick(random, 2u << 20);
            Bytes bytes = announceFrame(0x82, length, random);
            const Bytes part = randomBytes(random, std::min<uint64_t>(length - 1, 1 + pick(random, 65536)));
            bytes.insert(bytes.end(), part.begin(), part.end());
            return raw(SwarmAction::THEN_CLOSE, bytes, "unfinished long frame");
        }
    }
}

SwarmAction badHandshake(std::minstd_rand& random) {
    const std::string head = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    std::string request;
    const char* label;
    switch (pick(random, 5)) {
        case 0:
            request = head + "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: c2hvcnQ=\r\n\r\n";
            label = "upgrade with a short key";
            break;
        case 1:
            request = head + "\r\n";
            label = "plain HTTP request";
            break;
        case 2:
            request = head + "Upgrade: websocket\r\nX-Padding: " + std::string(5000, 'x') + "\r\n\r\n";
            label = "upgrade request over 4 KiB";
            break;
        case 3:
            request = head + "Upgrade: websock";
            label = "unfinished upgrade request";
            break;
        default: {
            const Bytes noise = randomBytes(random, 1 + pick(random, 200));
            request.assign(noise.begin(), noise.end());
            label = "bytes that are no HTTP";
            break;
        }
    }
    return raw(SwarmAction::BAD_HANDSHAKE, Bytes(request.begin(), request.end()), label);
}

}  // namespace

SwarmAction nextSwarmAction(std::minstd_rand& random) {
    const uint32_t roll = pick(random, 1000);
    if (roll < 320) return command({0x01}, false);                              // PING
    if (roll < 360) return command({0x01}, false, 1);                           // PING as text
    if (roll < 400) {                                                           // GET_VERSION, any length
        Bytes bytes{0x30};
        const Bytes tail = randomBytes(random, pick(random, 3));
        bytes.insert(bytes.end(), tail.begin(), tail.end());
        return command(bytes, false);
    }
    if (roll < 410) return command({'0'}, false, 1);                            // GET_VERSION as text
    if (roll < 500) return command({pick(random, 2) ? uint8_t(0x0B) : uint8_t(0x0D)}, false);  // harmless stops
    if (roll < 950) return malformedCommand(random);
    if (roll < 965) return unusualFrames(random);
    if (roll < 980) return refusedFrames(random);
    if (roll < 993) return unfinishedFrames(random);
    if (roll < 996) return raw(SwarmAction::RESET, {}, "connection reset");
    return badHandshake(random);
}

SwarmAction largeMessage(std::minstd_rand& random) {
    Bytes large = randomBytes(random, (1u << 20) + 1);  // counts as length 1: a PING
    large[0] = 0x01;
    return command(large, true);
}
