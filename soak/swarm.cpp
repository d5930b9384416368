#include "soak/swarm.h"

#include <poll.h>

#include <random>

#include "soak/peer.h"
#include "soak/swarm_actions.h"

namespace {

constexpr int PORT = 8888;
constexpr int CONNECT_TIMEOUT_MS = 2000;
constexpr int SEND_MIN_MS = 50;
constexpr int SEND_SPREAD_MS = 150;
constexpr int LARGE_MIN_MS = 4000;
constexpr int LARGE_SPREAD_MS = 2000;
constexpr int DROP_WAIT_MS = 3000;
constexpr int RECONNECT_MIN_MS = 20;
constexpr int RECONNECT_SPREAD_MS = 180;
constexpr int RETRY_AFTER_FAILED_CONNECT_MS = 500;

struct Client {
    Peer peer;
    int64_t nextSendMs = 0;
    int64_t reconnectAtMs = 0;
    int64_t dropDeadlineMs = 0;  // waiting for the server to drop us, when not 0
    std::string dropLabel;
    bool ever = false;  // connected at least once
    bool large = false;  // sends only 1 MiB messages, seldom
};

}  // namespace

Swarm::Swarm(Report& report, VersionTexts versions, int clients, int threads)
    : report_(report), versions_(std::move(versions)), clients_(clients), threadCount_(threads) {}

Swarm::~Swarm() { stop(); }

void Swarm::start() {
    for (int t = 0; t < threadCount_; ++t) {
        const int count = clients_ / threadCount_ + (t < clients_ % threadCount_ ? 1 : 0);
        threads_.emplace_back(&Swarm::serve, this, t, count);
    }
}

void Swarm::stop() {
    stopping_ = true;
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
}

void Swarm::serve(int index, int count) {
    std::minstd_rand random(std::random_device{}() + static_cast<unsigned>(index));
    std::vector<Client> clients(static_cast<size_t>(count));
    if (index == 0 && !clients.empty()) clients[0].large = true;
    auto later = [&](int min, int spread) { return nowMs() + min + static_cast<int>(random() % spread); };

    uint64_t checked = 0;  // added to the report now and then
    int64_t nextFlush = nowMs() + 1000;
    auto handleMessages = [&](Client& c) {
        while (std::optional<WsMessage> message = c.peer.next()) {
            if (message->opcode == 8) continue;  // the server's close frame; the end follows
            ++checked;
            const std::string violation = protocolViolation(*message, versions_);
            if (!violation.empty()) {
                report_.violation("protocol of server messages", violation + " " + describe(message->payload));
            }
        }
        if (c.peer.broken()) report_.violation("protocol of server messages", "a frame no server sends");
    };

    auto ended = [&](Client& c) {
        handleMessages(c);
        if (c.dropDeadlineMs != 0) {
            report_.count("malformed connections dropped by the server");
        } else if (!stopping_) {
            report_.violation("server keeps well-behaved clients", "a client's connection ended unasked");
        }
        c.dropDeadlineMs = 0;
        c.peer.close();
        c.reconnectAtMs = later(RECONNECT_MIN_MS, RECONNECT_SPREAD_MS);
    };

    auto act = [&](Client& c) {
        const SwarmAction action = c.large ? largeMessage(random) : nextSwarmAction(random);
        bool sent;
        if (action.kind == SwarmAction::COMMAND) {
            sent = c.peer.send(action.payload, action.opcode);
            report_.count("commands sent");
            if (action.malformed) report_.count("malformed commands sent");
        } else {
            sent = action.raw.empty() || action.kind == SwarmAction::BAD_HANDSHAKE || c.peer.sendRaw(action.raw);
            report_.count(action.kind == SwarmAction::UNUSUAL_FRAMES  ? "unusual frames sent"
                          : action.kind == SwarmAction::BAD_HANDSHAKE ? "broken upgrade requests sent"
                                                                      : "malformed frames sent");
        }
        c.nextSendMs = c.large ? later(LARGE_MIN_MS, LARGE_SPREAD_MS) : later(SEND_MIN_MS, SEND_SPREAD_MS);
        if (c.large) report_.count("1 MiB messages sent");
        switch (action.kind) {
            case SwarmAction::EXPECT_DROP:
                c.dropDeadlineMs = nowMs() + DROP_WAIT_MS;
                c.dropLabel = action.label;
                break;
            case SwarmAction::BAD_HANDSHAKE:
                c.peer.close();
                Peer::sendInsteadOfHandshake(PORT, action.raw);
                c.reconnectAtMs = later(RECONNECT_MIN_MS, RECONNECT_SPREAD_MS);
                break;
            case SwarmAction::THEN_CLOSE:
            case SwarmAction::RESET:
                c.peer.close(action.kind == SwarmAction::RESET);
                c.reconnectAtMs = later(RECONNECT_MIN_MS, RECONNECT_SPREAD_MS);
                break;
            default:
                if (!sent) ended(c);
                break;
        }
    };

    std::vector<pollfd> polls;
    std::vector<Client*> polled;
    while (!stopping_) {
        const int64_t now = nowMs();
        if (now >= nextFlush) {
            report_.count("replies checked", checked);
            checked = 0;
            nextFlush = now + 1000;
        }
        int64_t wake = now + 50;
        for (Client& c : clients) {
            if (!c.peer.connected()) {
                if (now < c.reconnectAtMs) {
                    wake = std::min(wake, c.reconnectAtMs);
                    continue;
                }
                if (!c.peer.connect(PORT, CONNECT_TIMEOUT_MS)) {
                    if (!stopping_) report_.violation("new clients can connect", "connection or upgrade failed");
                    c.reconnectAtMs = nowMs() + RETRY_AFTER_FAILED_CONNECT_MS;
                    continue;
                }
                if (c.ever) report_.count("client reconnections");
                c.ever = true;
                c.nextSendMs = later(0, SEND_SPREAD_MS);
            }
            if (c.dropDeadlineMs != 0) {
                if (nowMs() >= c.dropDeadlineMs) {
                    report_.violation("server drops connections that break the framing",
                                 "still open 3 s after: " + c.dropLabel);
                    c.dropDeadlineMs = 0;
                    c.peer.close();
                    c.reconnectAtMs = later(RECONNECT_MIN_MS, RECONNECT_SPREAD_MS);
                }
                continue;
            }
            if (nowMs() >= c.nextSendMs) act(c);
            if (c.peer.connected()) wake = std::min(wake, c.nextSendMs);
        }
        polls.clear();
        polled.clear();
        for (Client& c : clients) {
            if (!c.peer.connected()) continue;
            polls.push_back({c.peer.fd(), POLLIN, 0});
            polled.push_back(&c);
        }
        const int timeout = static_cast<int>(std::max<int64_t>(0, std::min<int64_t>(wake - nowMs(), 50)));
        if (polls.empty()) {
            pollfd none{};
            ::poll(&none, 0, timeout);
            continue;
        }
        if (::poll(polls.data(), polls.size(), timeout) <= 0) continue;
        for (size_t i = 0; i < polls.size(); ++i) {
            if (!polls[i].revents) continue;
            Client& c = *polled[i];
            if (c.peer.pump()) {
                handleMessages(c);
            } else {
                ended(c);
            }
        }
    }
    for (Client& c : clients) c.peer.close();
    report_.count("replies checked", checked);
}
