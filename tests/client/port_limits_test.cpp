// The port's bounds, attacked as an intruder would, against the server thread
// in this process. Nothing pops the event queue here unless a test does, as
// when the main loop is busy.
#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "client/connection_limits.h"
#include "core/event_queue.h"
#include "core/logger.h"
#include "platform/process_memory.h"
#include "platform/sockets.h"
#include "tests/client/in_process_server.h"

namespace {

// Sends bytes on a new connection and returns everything the server sends
// until it closes (closed = true) or the time is up.
std::string exchange(const std::string& bytes, int timeoutMs = 3000, bool* closed = nullptr) {
    const int fd = connectLoopback(serverOptions.port, 3000);
    if (fd < 0) return "<no connection>";
    sendAll(fd, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    std::string received;
    const int64_t deadline = nowMs() + timeoutMs;
    bool ended = false;
    while (!ended && waitReadable(fd, static_cast<int>(deadline - nowMs()))) {
        char chunk[65536];
        const long n = platform::receiveBytes(fd, chunk, sizeof chunk);
        ended = n <= 0;
        if (n > 0) received.append(chunk, static_cast<size_t>(n));
    }
    platform::closeSocket(fd);
    if (closed) *closed = ended;
    return received;
}

int count(const std::string& text, const std::string& part) {
    int found = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++found;
    return found;
}

long residentMiB() {
    return static_cast<long>(platform::residentBytes() / (1024 * 1024));
}

// Growth of the resident size since before. AddressSanitizer keeps freed
// memory in quarantine, so there it says nothing and counts as none; the
// faults this catches grew by hundreds of MiB.
#if defined(__SANITIZE_ADDRESS__)
#define UNDER_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define UNDER_ADDRESS_SANITIZER 1
#endif
#endif
long residentGrowthMiB(long before) {
#ifdef UNDER_ADDRESS_SANITIZER
    return before - before;
#else
    return residentMiB() - before;
#endif
}

const std::string UPGRADE =
    "GET / HTTP/1.1\r\nHost: localhost\r\nConnection: Upgrade\r\nUpgrade: websocket\r\n"
    "Sec-WebSocket-Version: 13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n";

// The code of the close frame the server ends with (-1: none came).
int closeCode(WsClient& client) {
    while (client.receive(3000)) {
    }
    return client.closeCode();
}

class PortLimits : public ::testing::Test {
protected:
    void SetUp() override { ensureServer(); }
};

}  // namespace

TEST_F(PortLimits, BadLengthsBodiesAndLongHeadsAreRefusedAndEndTheConnection) {
    const long before = residentMiB();
    for (const char* length : {"-54", "-100000", "-10000000", "99999999999999999999999"}) {
        bool closed = false;
        const std::string answer =
            exchange(std::string("POST / HTTP/1.1\r\nHost: localhost\r\nContent-Length: ") + length + "\r\n\r\n", 3000,
                     &closed);
        EXPECT_EQ(answer.rfind("HTTP/1.1 4", 0), 0u) << length << ": " << answer;
        EXPECT_TRUE(closed) << length;
    }
    // A body is never read as a further request: one answer, 413, then the end.
    const std::string smuggled = "GET /index.html HTTP/1.1\r\nHost: localhost\r\n\r\n";
    for (const char* head : {"GET / HTTP/1.1\r\nHost: localhost\r\nContent-Length: 45\r\n\r\n",
                             "POST / HTTP/1.1\r\nHost: localhost\r\nTransfer-Encoding: chunked\r\n\r\n2d\r\n"}) {
        const std::string answer = exchange(head + smuggled);
        EXPECT_EQ(answer.rfind("HTTP/1.1 413 ", 0), 0u) << answer;
        EXPECT_EQ(count(answer, "HTTP/1.1 "), 1) << answer;
    }
    const std::string longHead = "GET / HTTP/1.1\r\nHost: localhost\r\nX-Filler: " + std::string(9000, 'a') + "\r\n\r\n";
    EXPECT_EQ(exchange(longHead).rfind("HTTP/1.1 431 ", 0), 0u);
    // The thread is free, and nothing was kept.
    EXPECT_EQ(exchange("GET /index.html HTTP/1.1\r\nHost: localhost\r\n\r\n", 500).rfind("HTTP/1.1 200 ", 0), 0u);
    EXPECT_LT(residentGrowthMiB(before), 32);
}

TEST_F(PortLimits, PipelinedRequestsAreAnsweredInOrderAndAClientThatDoesNotReadCannotGrowTheServer) {
    const std::string answers = exchange(
        "GET /api/recordings/201.csv?channels=1 HTTP/1.1\r\nHost: localhost\r\n\r\n"
        "GET /favicon.svg HTTP/1.1\r\nHost: localhost\r\n\r\n"
        "GET /api/recordings/202.csv?channels=1 HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n");
    const size_t first = answers.find("raw201.bin");
    const size_t second = answers.find("<svg");
    const size_t third = answers.find("raw202.bin");
    EXPECT_EQ(count(answers, "HTTP/1.1 "), 3);
    EXPECT_TRUE(first < second && second < third && third != std::string::npos) << answers;

    // Thousands of requests for the page, none of the answers read.
    const long before = residentMiB();
    const int fd = connectLoopback(serverOptions.port, 3000);
    std::string requests;
    for (int i = 0; i < 200; ++i) requests += "GET /index.html HTTP/1.1\r\nHost: localhost\r\n\r\n";
    platform::makeNonBlocking(fd);
    for (int round = 0; round < 50; ++round) {
        platform::sendBytes(fd, requests.data(), requests.size());  // until the server stops reading
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LT(residentGrowthMiB(before), 32);
    platform::closeSocket(fd);
}

TEST_F(PortLimits, IdleAndSlowConnectionsAreClosedWithinSeconds) {
    const int64_t start = nowMs();
    bool idleClosed = false;
    bool slowClosed = false;
    std::thread slow([&] { exchange("GET / HTTP/1.1\r\nHost: loc", 15000, &slowClosed); });
    exchange("", 15000, &idleClosed);
    slow.join();
    EXPECT_TRUE(idleClosed && slowClosed);
    EXPECT_LT(nowMs() - start, 12000) << "closed after the idle time-out of a few seconds";
}

TEST_F(PortLimits, ConnectionsAboveTheLimitsAreRefused) {
    std::vector<int> open;
    for (int i = 0; i < MAX_HTTP_CONNECTIONS; ++i) {
        open.push_back(connectLoopback(serverOptions.port, 3000));
        sendAll(open.back(), reinterpret_cast<const uint8_t*>("GET / HTTP/1.1\r\n"), 16);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(exchange("GET /index.html HTTP/1.1\r\nHost: localhost\r\n\r\n").rfind("HTTP/1.1 503 ", 0), 0u);
    for (int fd : open) platform::closeSocket(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(exchange("GET /index.html HTTP/1.1\r\nHost: localhost\r\n\r\n", 500).rfind("HTTP/1.1 200 ", 0), 0u);

    std::vector<std::unique_ptr<WsClient>> clients(MAX_WEBSOCKET_CLIENTS);
    for (auto& client : clients) {
        client = std::make_unique<WsClient>();
        ASSERT_TRUE(client->connect(serverOptions.port));
    }
    EXPECT_EQ(exchange(UPGRADE).rfind("HTTP/1.1 503 ", 0), 0u);
    clients.pop_back();
    ASSERT_TRUE(waitForClients(MAX_WEBSOCKET_CLIENTS - 1));
    EXPECT_EQ(exchange(UPGRADE, 500).rfind("HTTP/1.1 101 ", 0), 0u);
}

TEST_F(PortLimits, LongMessagesAndUnmaskedFramesCloseTheConnection) {
    WsClient client;
    ASSERT_TRUE(client.connect(serverOptions.port));
    ASSERT_TRUE(client.send(Bytes(MAX_WEBSOCKET_MESSAGE_BYTES, 0x01)));
    EXPECT_EQ(eventQueue.pop()->size(), MAX_WEBSOCKET_MESSAGE_BYTES + 1) << "a message of the limit arrives whole";
    client.send(Bytes(MAX_WEBSOCKET_MESSAGE_BYTES + 1, 0x01));  // the server may close before it is all sent
    EXPECT_EQ(closeCode(client), 1009);

    // Fragments count together: two of 600 KiB make one message over the limit.
    const uint8_t mask[4] = {1, 2, 3, 4};
    ASSERT_TRUE(client.connect(serverOptions.port));
    for (const uint8_t firstByte : {0x02, 0x80}) {  // binary without FIN, then the continuation with FIN
        const Bytes frame = encodeClientFrame(firstByte, Bytes(600 * 1024, 0x02), mask);
        client.sendRaw(std::string(frame.begin(), frame.end()));
    }
    EXPECT_EQ(closeCode(client), 1009);

    ASSERT_TRUE(client.connect(serverOptions.port));
    ASSERT_TRUE(client.sendRaw(std::string("\x82\x01\x01", 3)));  // FIN binary, one byte, no mask
    EXPECT_EQ(closeCode(client), 1002);
}

TEST_F(PortLimits, AClientThatDoesNotReadIsDroppedWithoutTouchingTheOthers) {
    WsClient reader;
    WsClient sleeper;
    ASSERT_TRUE(reader.connect(serverOptions.port));
    ASSERT_TRUE(sleeper.connect(serverOptions.port));
    ASSERT_TRUE(waitForClients(2));
    const long before = residentMiB();
    testing::internal::CaptureStdout();
    // Far more than the sleeper's queue and socket buffers hold; the reader
    // keeps up and must get every message in order.
    constexpr int MESSAGES = 80000;
    uint8_t message[255] = {};
    int received = 0;
    bool inOrder = true;
    for (int i = 0; i < MESSAGES && inOrder; ++i) {
        message[0] = static_cast<uint8_t>(i);
        message[1] = static_cast<uint8_t>(i >> 8);
        sendToClients(message, sizeof message);
        while (inOrder && i % 64 == 63 && received <= i - 32) {
            std::optional<WsMessage> got = reader.receive(3000);
            inOrder = got && (got->payload[0] | got->payload[1] << 8) == (received & 0xFFFF);
            ++received;
        }
    }
    const bool dropped = waitForClients(1);
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(inOrder) << "the reader lost or reordered message " << received - 1;
    EXPECT_TRUE(dropped);
    EXPECT_NE(log.find("uWS drop client: it does not read its messages"), std::string::npos) << log;
    EXPECT_LT(residentGrowthMiB(before), 32);
}

TEST_F(PortLimits, AClientWhoseCommandsWouldOverfillTheEventQueueIsDropped) {
    WsClient flooder;
    ASSERT_TRUE(flooder.connect(serverOptions.port));
    ASSERT_TRUE(waitForClients(1));
    const Bytes large(MAX_WEBSOCKET_MESSAGE_BYTES / 2, 0x01);
    for (size_t sent = 0; sent <= MAX_QUEUED_CLIENT_EVENT_BYTES && flooder.send(large); sent += large.size()) {
    }
    EXPECT_TRUE(waitForClients(0));
    WsClient next;
    EXPECT_TRUE(next.connect(serverOptions.port)) << "others can still connect";
}
