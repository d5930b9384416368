#include "soak/report.h"

#include <unistd.h>

#include <random>
#include <thread>
#include <vector>

namespace {

using Random = std::minstd_rand;

constexpr int NON_READING_CLIENTS = 3;

enum Kind { VALID, MALFORMED, UNUSUAL, DROP, UNFINISHED, RESET };
const char* const COUNTER[] = {"valid commands sent",   "malformed commands sent", "unusual frames sent",
                               "malformed frames sent", "malformed frames sent",   "connections reset"};

uint32_t pick(Random& r, uint32_t below) {
    return static_cast<uint32_t>(r() % below);
}

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

// What a background client does next, by weight per mille. Nothing here can end the server or change its
// state; wrong lengths only of codes whose replies the conductor never waits for.
struct Choice {
    int perMille;
    Kind kind;
    std::string (*wire)(Random&);
    const char* label = "";  // why the server must drop the connection
};
const Choice CHOICES[] = {
    {360, VALID, [](Random& r) { return frame(r, pick(r, 9) ? 0x82 : 0x81, "\x01"); }},  // PING, a few as text
    {50, VALID,                                                                          // GET_VERSION, a few as text
     [](Random& r) { return pick(r, 5) ? frame(r, 0x82, "\x30" + noise(r, pick(r, 3))) : frame(r, 0x81, "0"); }},
    {90, VALID, [](Random& r) { return frame(r, 0x82, pick(r, 2) ? "\x0B" : "\x0D"); }},  // acknowledged stops
    {100, MALFORMED,
     [](Random& r) { return frame(r, 0x82, "\x01\x08\x09\x0A\x0B\x0C\x0D"[pick(r, 7)] + noise(r, 1 + pick(r, 20))); }},
    {70, MALFORMED, [](Random& r) { return frame(r, 0x82, ""); }},
    {70, MALFORMED, [](Random& r) { return frame(r, 0x82, "\x0E" + noise(r, 255 + 256 * pick(r, 2))); }},  // as empty
    {70, MALFORMED, [](Random& r) { return frame(r, 0x82, "\x01" + noise(r, 256)); }},  // counts as a PING
    {70, MALFORMED, [](Random& r) { return frame(r, 0x82, "\x0B" + noise(r, 257)); }},  // MODEL_GENERATE_STOP, length 2
    {70, MALFORMED,
     [](Random& r) {  // codes the server ignores
         const char code = static_cast<char>(pick(r, 2) ? 0x31 + pick(r, 0xCE) : 0x12 + pick(r, 0x1E));
         return frame(r, 0x82, code + noise(r, pick(r, 300)));
     }},
    {3, UNUSUAL, [](Random& r) { return frame(r, 0x02, "\x01") + frame(r, 0x80, ""); }},  // a fragmented PING
    {3, UNUSUAL, [](Random& r) { return frame(r, 0x02, "\x01") + frame(r, 0x89, "soak") + frame(r, 0x80, ""); }},
    {3, UNUSUAL, [](Random&) { return std::string("\x82\x81\0\0\0\0\x01", 7); }},  // a zero mask
    {3, UNUSUAL, [](Random& r) { return frame(r, 0x89, noise(r, 8)); }},
    {2, DROP, [](Random& r) { return frame(r, 0x80 | "\3\4\5\6\7\13\14\15\16\17"[pick(r, 10)], "\x01"); },
     "reserved opcode"},
    {2, DROP, [](Random& r) { return frame(r, 0x82 | (0x10 << pick(r, 3)), "\x01"); }, "reserved bits"},
    {1, DROP, [](Random& r) { return frame(r, 0x80, "\x01"); }, "continuation without a start"},
    {3, DROP, [](Random& r) { return frame(r, 0x82, "\x01", true); }, "a length not in its shortest form"},
    {1, DROP, [](Random& r) { return frame(r, 0x81, "\xC3\x28"); }, "text that is not UTF-8"},
    {1, DROP, [](Random& r) { return frame(r, 0x89, noise(r, 200)); }, "control frame over 125 bytes"},
    {1, DROP, [](Random& r) { return frame(r, 0x09, ""); }, "fragmented control frame"},
    {1, DROP, [](Random& r) { return frame(r, 0x02, "\x01") + frame(r, 0x81, "A"); },
     "message inside a fragmented one"},
    {4, DROP, [](Random& r) { return announce(r, (1u << 20) + 1 + (uint64_t(r()) << pick(r, 33))); },
     "frame over 1 MiB"},
    {2, DROP, [](Random& r) { return frame(r, 0x88, pick(r, 2) ? "\x03\xE8" : "\x03\xE8\xFF"); }, "close frame"},
    {3, UNFINISHED, [](Random&) { return std::string("\x82\x01\x01"); }},  // unmasked
    {2, UNFINISHED, [](Random&) { return std::string("\x82\xFF\0\0", 4); }},
    {2, UNFINISHED, [](Random&) { return std::string("\x82\x85\x11\x22"); }},
    {6, UNFINISHED, [](Random& r) { return announce(r, 70000 + pick(r, 2u << 20)) + noise(r, 1 + pick(r, 65536)); }},
};

// The server keeps a message's buffer for the connection's life: one client holds one of the largest
// size it takes (1 MiB) throughout.
const Choice LARGE{0, MALFORMED, [](Random& r) { return frame(r, 0x82, "\x01" + noise(r, (1 << 20) - 1)); }};
const Choice NO_BYTES{7, RESET, [](Random&) { return std::string(); }};  // the rest of the per mille

const Choice& nextAction(Random& r) {
    int roll = static_cast<int>(pick(r, 1000));
    for (const Choice& choice : CHOICES)
        if ((roll -= choice.perMille) < 0) return choice;
    return NO_BYTES;
}

// Sleeps up to ms, less when stopping.
void pause(int ms, const std::atomic<bool>& stop) {
    for (const int64_t until = nowMs() + ms; !stop && nowMs() < until;) usleep(20000);
}

void client(Report& report, const VersionTexts& versions, unsigned index, const std::atomic<bool>& stop) {
    Random r(std::random_device{}() + index);
    const bool large = index == 0;
    WsClient ws;
    uint64_t checked = 0;
    for (int connections = 0; !stop;) {
        if (!ws.connected()) {
            const bool connected = ws.connect(wsPort, 5000);  // generous: the machine may be busy
            report.check(connected || stop, "new clients can connect", "connection or upgrade failed");
            if (!connected) pause(500, stop);
            if (!connected) continue;
            report.count("client reconnections", connections++ > 0);
        }
        const Choice& action = large ? LARGE : nextAction(r);
        report.count(large ? "1 MiB messages sent" : COUNTER[action.kind]);
        if (action.kind == RESET) ws.abort();
        const bool sent = ws.sendRaw(action.wire(r));  // nothing once closed
        if (action.kind == UNFINISHED) ws.close();
        // Read until the next action; after frames the server must refuse, until it drops the connection.
        const int64_t until = nowMs() + (action.kind == DROP ? 5000 : large ? 4000 + pick(r, 2000) : 100 + pick(r, 300));
        while (ws.connected() && !stop && nowMs() < until) {
            const std::optional<WsMessage> message =
                ws.receive(static_cast<int>(std::min<int64_t>(until - nowMs(), 200)));
            if (!message) continue;
            ++checked;
            const std::string violation = protocolViolation(*message, versions);
            if (!violation.empty())
                report.check(false, "protocol of server messages", violation + " " + describe(message->payload));
        }
        if (action.kind == DROP && !(stop && ws.connected())) {
            report.check(!ws.connected(), "the server drops connections that break the framing",
                         std::string("still open 5 s after: ") + action.label);
            report.count("malformed connections dropped by the server", ws.connected() ? 0 : 1);
            ws.close();
        } else {
            report.check(ws.connected() || action.kind >= UNFINISHED || stop, "the server keeps well-behaved clients",
                         sent ? "the server closed one" : "a send failed");
        }
    }
    report.count("replies checked", checked);
}

// Faults that leave the conductor's bookkeeping alone, every 0.5-2.5 s.
void injectFaults(Report& report, const std::atomic<bool>& stop) {
    Random r(std::random_device{}());
    ControlClient control;
    control.connect(controlPort);
    for (int64_t lastMuteMs = 0; !stop;) {
        pause(500 + static_cast<int>(pick(r, 2000)), stop);
        const uint32_t roll = pick(r, 100);
        const std::string n = std::to_string(pick(r, 256)), count = std::to_string(1 + pick(r, 3));
        const int32_t state = pick(r, 2) ? static_cast<int32_t>(pick(r, 9)) : static_cast<int32_t>(r() << pick(r, 8));
        std::string line = roll < 30   ? "hub-state " + std::to_string(state == 3 ? 4 : state)  // 3 ends the server
                           : roll < 55 ? "device-status " + n
                           : roll < 65 ? "armband-gesture " + n
                           : roll < 70 ? "seed " + std::to_string(r())
                           : roll < 90
                               ? (roll < 80 ? "fail hw " : "fail fw ") + count + " " + std::to_string(1 + pick(r, 9))
                           : roll < 95 ? "mute hw"
                                       : "mute fw";
        // A silent version query holds the main loop for 3 s: one in 10 s at most.
        if (roll >= 90 && nowMs() - lastMuteMs < 10000) continue;
        if (roll >= 90) lastMuteMs = nowMs();
        std::string answer = control.command(line);
        if (answer.empty() && control.connect(controlPort)) answer = control.command(line);
        // The armband reports gestures only while their notifications are on.
        report.check(answer == "ok" || answer.rfind("error gesture notifications", 0) == 0,
                     "the control endpoint takes the background faults", "'" + line + "' answered '" + answer + "'");
        if (answer == "ok") countFault(report, line);
    }
}

// A client that connects and never reads: its messages pile up in the server's
// bounded queue and the sockets, and must neither grow the server nor slow the others.
void neverRead(Report& report, const std::atomic<bool>& stop) {
    WsClient ws;
    report.check(ws.connect(wsPort, 5000), "new clients can connect", "a client that will not read could not connect");
    report.count("clients that never read");
    pause(1 << 30, stop);
}

}  // namespace

void runBackground(Report& report, const VersionTexts& versions, int clients, const std::atomic<bool>& stop) {
    std::vector<std::thread> threads;
    for (int i = 0; i < NON_READING_CLIENTS; ++i) threads.emplace_back(neverRead, std::ref(report), std::cref(stop));
    for (int i = 0; i < clients; ++i)
        threads.emplace_back(client, std::ref(report), std::cref(versions), i, std::cref(stop));
    threads.emplace_back(injectFaults, std::ref(report), std::cref(stop));
    for (std::thread& thread : threads) thread.join();
}
