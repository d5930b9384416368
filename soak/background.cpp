#include "soak/background.h"

#include <unistd.h>

#include <random>

namespace {

using Random = std::minstd_rand;

enum Kind { VALID, MALFORMED, UNUSUAL, DROP, UNFINISHED, RESET, HANDSHAKE };
const char* const COUNTER[] = {"valid commands sent", "malformed commands sent", "unusual frames sent",
                               "malformed frames sent", "malformed frames sent", "connections reset",
                               "broken upgrade requests sent"};

struct Action {
    Kind kind;
    std::string wire;  // the bytes as sent
    const char* label;
};

uint32_t pick(Random& r, uint32_t below) { return static_cast<uint32_t>(r() % below); }

Bytes randomBytes(Random& r, size_t length) {
    Bytes bytes(length);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(r());
    return bytes;
}

Bytes lead(uint8_t code, Bytes tail) {
    tail.insert(tail.begin(), code);
    return tail;
}

std::string frame(Random& r, uint8_t firstByte, const Bytes& payload, bool extendedLength = false) {
    const uint8_t mask[4] = {uint8_t(r()), uint8_t(r()), uint8_t(r()), uint8_t(r())};
    const Bytes bytes = encodeClientFrame(firstByte, payload, mask, extendedLength);
    return std::string(bytes.begin(), bytes.end());
}

// A binary frame header announcing length bytes in the 64-bit field, with its mask.
std::string announce(Random& r, uint64_t length) {
    std::string header{'\x82', '\xFF'};
    for (int shift = 56; shift >= 0; shift -= 8) header += static_cast<char>(length >> shift);
    for (int i = 0; i < 4; ++i) header += static_cast<char>(r());
    return header;
}

Action command(Random& r, Kind kind, const Bytes& payload, uint8_t firstByte = 0x82) {
    return {kind, frame(r, firstByte, payload), "command"};
}

// Wrong lengths and ignored codes whose replies the conductor never waits for; lengths count modulo 256.
Action malformedCommand(Random& r) {
    static constexpr uint8_t wrongLength[] = {0x01, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D};
    switch (pick(r, 6)) {
        case 0: return command(r, MALFORMED, lead(wrongLength[pick(r, 7)], randomBytes(r, 1 + pick(r, 20))));
        case 1: return command(r, MALFORMED, {});
        case 2: return command(r, MALFORMED, lead(0x0E, randomBytes(r, 255 + 256 * pick(r, 2))));  // counts as empty
        case 3: return command(r, MALFORMED, lead(0x01, randomBytes(r, 256)));                     // a PING
        case 4: return command(r, MALFORMED, lead(0x0B, randomBytes(r, 257)));  // MODEL_GENERATE_STOP of length 2
        default: {
            uint8_t code;
            do code = static_cast<uint8_t>(r());
            while (!(code == 0x00 || code == 0x0E || code == 0x0F || (code >= 0x12 && code <= 0x2F) ||
                     (code >= 0x31 && code <= 0xFE)));
            return command(r, MALFORMED, lead(code, randomBytes(r, pick(r, 300))));
        }
    }
}

Action unusualFrames(Random& r) {
    switch (pick(r, 5)) {
        case 0: return {UNUSUAL, frame(r, 0x02, {0x01}) + frame(r, 0x80, {}), "fragmented PING"};
        case 1: return {UNUSUAL, frame(r, 0x02, {1}) + frame(r, 0x89, {'s', 'o', 'a', 'k'}) + frame(r, 0x80, {}),
                        "ping inside a fragmented PING"};
        case 2: return {UNUSUAL, frame(r, 0x82, {0x01}, true), "16-bit length of 1"};
        case 3: return {UNUSUAL, std::string("\x82\x81\0\0\0\0\x01", 7), "zero mask"};
        default: return {UNUSUAL, frame(r, 0x89, randomBytes(r, 8)), "ping frame"};
    }
}

Action refusedFrames(Random& r) {
    static constexpr uint8_t reserved[] = {3, 4, 5, 6, 7, 11, 12, 13, 14, 15};
    static constexpr uint8_t bits[] = {0x40, 0x20, 0x10};
    static constexpr uint64_t huge[] = {(16u << 20) + 1, 64u << 20, uint64_t(1) << 32, uint64_t(1) << 63};
    switch (pick(r, 10)) {
        case 0: return {DROP, frame(r, 0x80 | reserved[pick(r, 10)], {0x01}), "reserved opcode"};
        case 1: return {DROP, frame(r, 0x82 | bits[pick(r, 3)], {0x01}), "reserved bits"};
        case 2: return {DROP, frame(r, 0x80, {0x01}), "continuation without a start"};
        case 3: return {DROP, frame(r, 0x81, {0xC3, 0x28}), "text that is not UTF-8"};
        case 4: return {DROP, frame(r, 0x89, randomBytes(r, 200)), "control frame over 125 bytes"};
        case 5: return {DROP, frame(r, 0x09, {}), "fragmented control frame"};
        case 6: return {DROP, frame(r, 0x02, {0x01}) + frame(r, 0x81, {'A'}), "new message inside a fragmented one"};
        case 7: return {DROP, announce(r, huge[pick(r, 4)]), "frame announcing over 16 MiB"};
        case 8: return {DROP, frame(r, 0x88, {0x03, 0xE8}), "close frame"};
        default: return {DROP, frame(r, 0x88, {0x03, 0xE8, 0xFF}), "close frame with a reason that is not UTF-8"};
    }
}

// Frames cut short, after which the client leaves.
Action unfinishedFrames(Random& r) {
    switch (pick(r, 5)) {
        case 0: return {UNFINISHED, "\x82\x01\x01", "unmasked frame"};
        case 1: return {UNFINISHED, "\x82", "one header byte"};
        case 2: return {UNFINISHED, std::string("\x82\xFF\0\0\0", 5), "part of a 64-bit length"};
        case 3: return {UNFINISHED, "\x82\x85\x11\x22", "half a mask"};
        default: {
            const uint32_t length = 1000 + pick(r, 2u << 20);
            const Bytes part = randomBytes(r, 1 + pick(r, 65536) % (length - 1));
            return {UNFINISHED, announce(r, length) + std::string(part.begin(), part.end()), "unfinished long frame"};
        }
    }
}

Action badHandshake(Random& r) {
    const std::string head = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    const std::string upgrade = head + "Upgrade: websocket\r\n";
    const Bytes noise = randomBytes(r, 1 + pick(r, 200));
    switch (pick(r, 5)) {
        case 0: return {HANDSHAKE, upgrade + "Connection: Upgrade\r\nSec-WebSocket-Key: c2hvcnQ=\r\n\r\n", "short key"};
        case 1: return {HANDSHAKE, head + "\r\n", "plain HTTP request"};
        case 2: return {HANDSHAKE, upgrade + "X-Padding: " + std::string(5000, 'x') + "\r\n\r\n", "request over 4 KiB"};
        case 3: return {HANDSHAKE, head + "Upgrade: websock", "unfinished request"};
        default: return {HANDSHAKE, std::string(noise.begin(), noise.end()), "bytes that are no HTTP"};
    }
}

Action nextAction(Random& r) {
    const uint32_t roll = pick(r, 1000);
    if (roll < 320) return command(r, VALID, {0x01});
    if (roll < 360) return command(r, VALID, {0x01}, 0x81);                          // PING as text
    if (roll < 400) return command(r, VALID, lead(0x30, randomBytes(r, pick(r, 3))));  // GET_VERSION, any length
    if (roll < 410) return command(r, VALID, {'0'}, 0x81);                           // GET_VERSION as text
    if (roll < 500) return command(r, VALID, {pick(r, 2) ? uint8_t(0x0B) : uint8_t(0x0D)});  // acknowledged stops
    if (roll < 950) return malformedCommand(r);
    if (roll < 965) return unusualFrames(r);
    if (roll < 980) return refusedFrames(r);
    if (roll < 993) return unfinishedFrames(r);
    if (roll < 996) return {RESET, "", "reset"};
    return badHandshake(r);
}

}  // namespace

void Background::start(int clients) {
    for (const char* name : {"protocol of server messages", "the server keeps well-behaved clients",
                             "new clients can connect", "the control endpoint takes the background faults"}) {
        report_.check(true, name);
    }
    for (int i = 0; i < clients; ++i) threads_.emplace_back(&Background::client, this, static_cast<unsigned>(i));
    threads_.emplace_back(&Background::injectFaults, this);
}

void Background::stop() {
    stopping_ = true;
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
}

void Background::pause(int ms) const {
    for (const int64_t until = nowMs() + ms; !stopping_ && nowMs() < until;) usleep(20000);
}

void Background::client(unsigned index) {
    Random r(std::random_device{}() + index);
    // The server keeps a message's buffer for the connection's life: one client holds a large one throughout.
    const bool large = index == 0;
    WsClient ws;
    bool reconnecting = false;
    uint64_t checked = 0;
    while (!stopping_) {
        if (!ws.connected()) {
            if (!ws.connect(8888, 2000)) {
                if (!stopping_) report_.check(false, "new clients can connect", "connection or upgrade failed");
                pause(500);
                continue;
            }
            if (reconnecting) report_.count("client reconnections");
            reconnecting = true;
        }
        const Action action = large ? command(r, MALFORMED, lead(0x01, randomBytes(r, 1u << 20))) : nextAction(r);
        report_.count(large ? "1 MiB messages sent" : COUNTER[action.kind]);
        if (action.kind == RESET) {
            ws.abort();
            continue;
        }
        if (action.kind == HANDSHAKE) {
            ws.close();
            const int fd = connectLoopback(8888, 2000);
            if (fd >= 0 && sendAll(fd, reinterpret_cast<const uint8_t*>(action.wire.data()), action.wire.size())) {
                usleep(10000);
            }
            if (fd >= 0) ::close(fd);
            continue;
        }
        const bool sent = ws.sendRaw(action.wire);
        if (action.kind == UNFINISHED) {
            ws.close();
            continue;
        }
        // Read until the next action; after frames the server must refuse, until it drops the connection.
        const int64_t until =
            nowMs() + (action.kind == DROP ? 3000 : large ? 4000 + pick(r, 2000) : 50 + pick(r, 150));
        while (ws.connected() && !stopping_ && nowMs() < until) {
            const std::optional<WsMessage> message = ws.receive(static_cast<int>(std::min<int64_t>(until - nowMs(), 200)));
            if (!message) continue;
            ++checked;
            const std::string violation = protocolViolation(*message, versions_);
            if (!violation.empty()) report_.check(false, "protocol of server messages", violation + " " + describe(message->payload));
        }
        if (action.kind == DROP && !(stopping_ && ws.connected())) {
            report_.check(!ws.connected(), "the server drops connections that break the framing",
                          std::string("still open 3 s after: ") + action.label);
            report_.count("malformed connections dropped by the server", ws.connected() ? 0 : 1);
            ws.close();
        } else if (!ws.connected() && !stopping_) {
            report_.check(false, "the server keeps well-behaved clients", sent ? "the server closed one" : "a send failed");
        }
    }
    report_.count("replies checked", checked);
}

void Background::injectFaults() {
    static constexpr int hubStates[] = {0, 1, 2, 4, 5, 6, 7, 8, 255, 256, -1, -3, 1000, 2147483647};  // 3 ends the server
    Random r(std::random_device{}());
    ControlClient control;
    control.connect();
    int64_t lastMuteMs = 0;
    while (!stopping_) {
        pause(500 + static_cast<int>(pick(r, 2000)));
        const uint32_t roll = pick(r, 100);
        const std::string n = std::to_string(pick(r, 256));
        std::string kind, line;
        if (roll < 30) {
            kind = "hub-state (not 3)";
            line = "hub-state " + std::to_string(hubStates[pick(r, 14)]);
        } else if (roll < 55) {
            kind = "device-status", line = "device-status " + n;
        } else if (roll < 65) {
            kind = "armband-gesture", line = "armband-gesture " + n;
        } else if (roll < 70) {
            kind = "seed", line = "seed " + std::to_string(r());
        } else if (roll < 90) {
            kind = roll < 80 ? "fail hw" : "fail fw";
            line = kind + " " + std::to_string(1 + pick(r, 3)) + " " + std::to_string(1 + pick(r, 9));
        } else {
            // A silent version query holds the main loop for 3 s: one in 10 s at most.
            if (nowMs() - lastMuteMs < 10000) continue;
            lastMuteMs = nowMs();
            kind = line = roll < 95 ? "mute hw" : "mute fw";
        }
        std::string answer = control.command(line);
        if (answer.empty() && control.connect()) answer = control.command(line);
        // The armband reports gestures only while their notifications are on.
        const bool gesturesOff = kind == "armband-gesture" && answer.rfind("error gesture notifications", 0) == 0;
        report_.check(answer == "ok" || gesturesOff, "the control endpoint takes the background faults",
                      "'" + line + "' answered '" + answer + "'");
        if (answer == "ok") report_.count("fault: " + kind);
    }
}
