#include "soak/background.h"

#include <unistd.h>

#include <random>

namespace {

using Random = std::minstd_rand;

// What a background client does next. Nothing here can end the server or change its state.
enum Kind { VALID, MALFORMED, UNUSUAL, DROP, UNFINISHED, RESET };
const char* const COUNTER[] = {"valid commands sent", "malformed commands sent", "unusual frames sent",
                               "malformed frames sent", "malformed frames sent", "connections reset"};
struct Action {
    Kind kind;
    std::string wire;  // the bytes as sent
    const char* label = "";
};

uint32_t pick(Random& r, uint32_t below) { return static_cast<uint32_t>(r() % below); }

std::string noise(Random& r, size_t length) {
    std::string bytes(length, '\0');
    for (char& b : bytes) b = static_cast<char>(r());
    return bytes;
}

std::string frame(Random& r, uint8_t firstByte, const std::string& payload, bool extendedLength = false) {
    const uint8_t mask[4] = {uint8_t(r()), uint8_t(r()), uint8_t(r()), uint8_t(r())};
    const Bytes bytes = encodeClientFrame(firstByte, Bytes(payload.begin(), payload.end()), mask, extendedLength);
    return std::string(bytes.begin(), bytes.end());
}

// A binary frame header announcing length bytes in the 64-bit field, with its mask.
std::string announce(Random& r, uint64_t length) {
    std::string header{'\x82', '\xFF'};
    for (int shift = 56; shift >= 0; shift -= 8) header += static_cast<char>(length >> shift);
    return header + noise(r, 4);
}

// Per mille. Wrong lengths only of codes whose replies the conductor never waits for.
const std::pair<int, Action (*)(Random&)> ACTIONS[] = {
    {360, [](Random& r) { return Action{VALID, frame(r, pick(r, 9) ? 0x82 : 0x81, "\x01")}; }},  // PING, a few as text
    {50, [](Random& r) { return Action{VALID, pick(r, 5) ? frame(r, 0x82, "\x30" + noise(r, pick(r, 3))) : frame(r, 0x81, "0")}; }},
    {90, [](Random& r) { return Action{VALID, frame(r, 0x82, pick(r, 2) ? "\x0B" : "\x0D")}; }},  // acknowledged stops
    {100, [](Random& r) { return Action{MALFORMED, frame(r, 0x82, "\x01\x08\x09\x0A\x0B\x0C\x0D"[pick(r, 7)] + noise(r, 1 + pick(r, 20)))}; }},
    {70, [](Random& r) { return Action{MALFORMED, frame(r, 0x82, "")}; }},
    {70, [](Random& r) { return Action{MALFORMED, frame(r, 0x82, "\x0E" + noise(r, 255 + 256 * pick(r, 2)))}; }},  // length 0
    {70, [](Random& r) { return Action{MALFORMED, frame(r, 0x82, "\x01" + noise(r, 256))}; }},  // counts as a PING
    {70, [](Random& r) { return Action{MALFORMED, frame(r, 0x82, "\x0B" + noise(r, 257))}; }},  // a stop of length 2
    {70, [](Random& r) {  // an ignored code: 0x12-0x2F, 0x31-0xFE
         const char code = static_cast<char>(pick(r, 2) ? 0x31 + pick(r, 0xCE) : 0x12 + pick(r, 0x1E));
         return Action{MALFORMED, frame(r, 0x82, code + noise(r, pick(r, 300)))};
     }},
    {3, [](Random& r) { return Action{UNUSUAL, frame(r, 0x02, "\x01") + frame(r, 0x80, ""), "fragmented PING"}; }},
    {3, [](Random& r) { return Action{UNUSUAL, frame(r, 0x02, "\x01") + frame(r, 0x89, "soak") + frame(r, 0x80, ""), "ping inside"}; }},
    {3, [](Random& r) { return Action{UNUSUAL, frame(r, 0x82, "\x01", true), "16-bit length of 1"}; }},
    {3, [](Random&) { return Action{UNUSUAL, std::string("\x82\x81\0\0\0\0\x01", 7), "zero mask"}; }},
    {3, [](Random& r) { return Action{UNUSUAL, frame(r, 0x89, noise(r, 8)), "ping frame"}; }},
    {2, [](Random& r) { return Action{DROP, frame(r, 0x80 | "\3\4\5\6\7\13\14\15\16\17"[pick(r, 10)], "\x01"), "reserved opcode"}; }},
    {2, [](Random& r) { return Action{DROP, frame(r, 0x82 | (0x10 << pick(r, 3)), "\x01"), "reserved bits"}; }},
    {1, [](Random& r) { return Action{DROP, frame(r, 0x80, "\x01"), "continuation without a start"}; }},
    {1, [](Random& r) { return Action{DROP, frame(r, 0x81, "\xC3\x28"), "text that is not UTF-8"}; }},
    {1, [](Random& r) { return Action{DROP, frame(r, 0x89, noise(r, 200)), "control frame over 125 bytes"}; }},
    {1, [](Random& r) { return Action{DROP, frame(r, 0x09, ""), "fragmented control frame"}; }},
    {1, [](Random& r) { return Action{DROP, frame(r, 0x02, "\x01") + frame(r, 0x81, "A"), "message inside a fragmented one"}; }},
    {4, [](Random& r) { return Action{DROP, announce(r, (16u << 20) + 1 + (uint64_t(r()) << pick(r, 33))), "frame over 16 MiB"}; }},
    {2, [](Random& r) { return Action{DROP, frame(r, 0x88, pick(r, 2) ? "\x03\xE8" : "\x03\xE8\xFF"), "close frame"}; }},
    {3, [](Random&) { return Action{UNFINISHED, "\x82\x01\x01", "unmasked frame"}; }},
    {2, [](Random&) { return Action{UNFINISHED, std::string("\x82\xFF\0\0", 4), "part of a 64-bit length"}; }},
    {2, [](Random&) { return Action{UNFINISHED, "\x82\x85\x11\x22", "half a mask"}; }},
    {6, [](Random& r) { return Action{UNFINISHED, announce(r, 70000 + pick(r, 2u << 20)) + noise(r, 1 + pick(r, 65536)), "unfinished long frame"}; }},
    {7, [](Random&) { return Action{RESET, ""}; }},
};

Action nextAction(Random& r) {
    int roll = static_cast<int>(pick(r, 1000));
    for (const auto& [weight, make] : ACTIONS) {
        if ((roll -= weight) < 0) return make(r);
    }
    return ACTIONS[0].second(r);
}

}  // namespace

void Background::start(int clients) {
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
    uint64_t checked = 0;
    for (bool reconnecting = false; !stopping_;) {
        if (!ws.connected()) {
            const bool connected = ws.connect(8888, 5000);  // generous: the machine may be busy
            report_.check(connected || stopping_, "new clients can connect", "connection or upgrade failed");
            if (!connected) pause(500);
            if (!connected) continue;
            if (reconnecting) report_.count("client reconnections");
            reconnecting = true;
        }
        const Action action = large ? Action{MALFORMED, frame(r, 0x82, "\x01" + noise(r, 1 << 20))} : nextAction(r);
        report_.count(large ? "1 MiB messages sent" : COUNTER[action.kind]);
        if (action.kind == RESET) ws.abort();
        const bool sent = ws.sendRaw(action.wire);  // nothing once closed
        if (action.kind == UNFINISHED) ws.close();
        // Read until the next action; after frames the server must refuse, until it drops the connection.
        const int64_t until = nowMs() + (action.kind == DROP ? 5000 : large ? 4000 + pick(r, 2000) : 50 + pick(r, 150));
        while (ws.connected() && !stopping_ && nowMs() < until) {
            const std::optional<WsMessage> message = ws.receive(static_cast<int>(std::min<int64_t>(until - nowMs(), 200)));
            if (!message) continue;
            ++checked;
            const std::string violation = protocolViolation(*message, versions_);
            if (!violation.empty()) report_.check(false, "protocol of server messages", violation + " " + describe(message->payload));
        }
        if (action.kind == DROP && !(stopping_ && ws.connected())) {
            report_.check(!ws.connected(), "the server drops connections that break the framing",
                          std::string("still open 5 s after: ") + action.label);
            report_.count("malformed connections dropped by the server", ws.connected() ? 0 : 1);
            ws.close();
        } else {
            report_.check(ws.connected() || action.kind >= UNFINISHED || stopping_, "the server keeps well-behaved clients",
                          sent ? "the server closed one" : "a send failed");
        }
    }
    report_.count("replies checked", checked);
}

// Faults that leave the conductor's bookkeeping alone, every 0.5-2.5 s.
void Background::injectFaults() {
    Random r(std::random_device{}());
    ControlClient control;
    control.connect();
    for (int64_t lastMuteMs = 0; !stopping_;) {
        pause(500 + static_cast<int>(pick(r, 2000)));
        const uint32_t roll = pick(r, 100);
        const std::string n = std::to_string(pick(r, 256)), count = std::to_string(1 + pick(r, 3));
        const int32_t state = pick(r, 2) ? static_cast<int32_t>(pick(r, 9)) : static_cast<int32_t>(r() << pick(r, 8));
        std::string line = roll < 30   ? "hub-state " + std::to_string(state == 3 ? 4 : state)  // 3 ends the server
                           : roll < 55 ? "device-status " + n
                           : roll < 65 ? "armband-gesture " + n
                           : roll < 70 ? "seed " + std::to_string(r())
                           : roll < 90 ? (roll < 80 ? "fail hw " : "fail fw ") + count + " " + std::to_string(1 + pick(r, 9))
                                       : roll < 95 ? "mute hw" : "mute fw";
        // A silent version query holds the main loop for 3 s: one in 10 s at most.
        if (roll >= 90 && nowMs() - lastMuteMs < 10000) continue;
        if (roll >= 90) lastMuteMs = nowMs();
        std::string answer = control.command(line);
        if (answer.empty() && control.connect()) answer = control.command(line);
        // The armband reports gestures only while their notifications are on.
        report_.check(answer == "ok" || answer.rfind("error gesture notifications", 0) == 0,
                      "the control endpoint takes the background faults", "'" + line + "' answered '" + answer + "'");
        if (answer == "ok") countFault(report_, line);
    }
}
