// The console's HTTP side, the access checks and the command line, through
// the real binary on the virtual armband.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "core/json_text.h"
#include "core/loopback_client.h"
#include "platform/child_process.h"
#include "platform/sockets.h"
#include "tools/client_kit/server_process.h"
#include "tools/client_kit/ws_client.h"

namespace {

int serverPort = 0;  // of the server the test started last

// A folder as the status names it: with the system's separators, as a JSON string.
std::string jsonFolder(const std::string& folder) {
    return jsonString(std::filesystem::path(folder).make_preferred().string());
}

struct Reply {
    int status = 0;
    std::string head;
    std::string body;  // de-chunked
};

// One request on a new connection; reads until the response is complete,
// the server closes, or three seconds pass.
Reply exchange(const std::string& request, int* keepOpen = nullptr) {
    Reply reply;
    const int fd = connectLoopback(serverPort, 3000);
    if (fd < 0) return reply;
    platform::sendBytes(fd, request.data(), request.size());
    std::string data;
    const int64_t deadline = nowMs() + 3000;
    for (;;) {
        const size_t headEnd = data.find("\r\n\r\n");
        if (headEnd != std::string::npos) {
            reply.head = data.substr(0, headEnd);
            const std::string rest = data.substr(headEnd + 4);
            const size_t length = reply.head.find("Content-Length: ");
            if (length != std::string::npos && rest.size() >= std::stoul(reply.head.substr(length + 16))) break;
            if (reply.head.find("101 Switching") != std::string::npos) break;
            if (reply.head.find("chunked") != std::string::npos && rest.find("\r\n0\r\n\r\n") != std::string::npos)
                break;
        }
        char chunk[65536];
        if (!waitReadable(fd, static_cast<int>(deadline - nowMs()))) break;
        const long n = platform::receiveBytes(fd, chunk, sizeof chunk);
        if (n <= 0) break;
        data.append(chunk, static_cast<size_t>(n));
    }
    if (keepOpen) {
        *keepOpen = fd;
    } else {
        platform::closeSocket(fd);
    }
    if (data.size() > 12) reply.status = std::stoi(data.substr(9, 3));
    std::string rest = reply.head.empty() ? "" : data.substr(reply.head.size() + 4);
    if (reply.head.find("chunked") == std::string::npos) {
        reply.body = rest;
        return reply;
    }
    for (size_t at = 0;;) {
        const size_t lineEnd = rest.find("\r\n", at);
        if (lineEnd == std::string::npos) break;
        const size_t size = std::stoul(rest.substr(at, lineEnd - at), nullptr, 16);
        if (size == 0) break;
        reply.body += rest.substr(lineEnd + 2, size);
        at = lineEnd + 2 + size + 2;
    }
    return reply;
}

Reply get(const std::string& target, const std::string& headers = "Host: localhost:8888\r\n") {
    return exchange("GET " + target + " HTTP/1.1\r\n" + headers + "\r\n");
}

std::string upgrade(const std::string& headers) {
    return "GET / HTTP/1.1\r\n" + headers +
           "Connection: Upgrade\r\nUpgrade: websocket\r\nSec-WebSocket-Version: 13\r\n"
           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n";
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Runs the binary with arguments (no shell splits them); its exit code, with
// its output in output; -1 when it did not end within 10 s.
int runBinary(const std::vector<std::string>& arguments, std::string& output) {
    const std::string folder = makeTempDir("emgbridge-cli");
    const std::string file = folder + "/out.txt";
    platform::ChildProcess child;
    int code = -1;
    if (platform::startChild(serverBinary(), arguments, folder, file, child)) {
        const int64_t deadline = nowMs() + 10000;
        while (!platform::childEnded(child, code) && nowMs() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (child.pid > 0 && platform::stopChild(child, platform::ChildStop::KILL)) {
            while (!platform::childEnded(child, code)) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            code = -1;
        }
    }
    output = readFile(file);
    output.erase(std::remove(output.begin(), output.end(), '\r'), output.end());  // Windows' text-mode line ends
    std::filesystem::remove_all(folder);
    return code;
}

}  // namespace

TEST(HttpApi, RecordingsModelAndErrors) {
    ServerProcess server;
    ASSERT_TRUE(server.start());
    serverPort = server.port();
    // Seven bytes are two frames of three channels and a partial frame.
    std::ofstream(server.path("raw2.bin"), std::ios::binary) << std::string("\x01\x02\xff\x10\x20\x30\x07", 7);

    Reply list = get("/api/recordings");
    EXPECT_EQ(list.status, 200);
    EXPECT_TRUE(contains(list.body, "\"channels\":null")) << list.body;
    EXPECT_TRUE(
        contains(list.body, "{\"gesture\":2,\"file\":\"raw2.bin\",\"bytes\":7,\"frames\":null,\"seconds\":null"));
    list = get("/api/recordings?channels=3");
    EXPECT_TRUE(contains(list.body, "\"bytes\":7,\"frames\":2,\"seconds\":0.003,")) << list.body;

    const Reply csv = get("/api/recordings/2.csv?channels=3");
    EXPECT_EQ(csv.status, 200);
    EXPECT_TRUE(contains(csv.head, "Content-Type: text/csv"));
    EXPECT_EQ(csv.body, "frame,time_s,ch1,ch2,ch3\n0,0.000000,1,2,255\n1,0.001538,16,32,48\n");

    EXPECT_EQ(get("/api/recordings/2.csv").status, 409);  // no configuration tells the channel count
    EXPECT_EQ(get("/api/recordings/2.csv?channels=9").status, 400);
    EXPECT_EQ(get("/api/recordings?channels=x").status, 400);
    EXPECT_EQ(get("/api/recordings/5.csv?channels=3").status, 404);
    EXPECT_EQ(get("/api/recordings/../raw2.bin").status, 404);
    EXPECT_EQ(get("/api/nothing").status, 404);
    EXPECT_EQ(get("/api/model").status, 404);
    EXPECT_EQ(get("/api/evaluation").status, 404);  // nothing generated yet
    const Reply post = exchange("POST /api/status HTTP/1.1\r\nHost: localhost\r\nContent-Length: 0\r\n\r\n");
    EXPECT_EQ(post.status, 405);
    EXPECT_TRUE(contains(post.body, "{\"error\":")) << post.body;

    // Three pairs of two weights and a bias: three gestures, two channels.
    std::ofstream(server.path("W&B.txt")) << "1 2 3\n4 5 6\n7 8 9\n";
    const Reply model = get("/api/model");
    EXPECT_TRUE(contains(model.body, "\"gestures\":3,\"channels\":2,\"rows\":3,")) << model.body;

    const Reply status = get("/api/status");
    EXPECT_TRUE(contains(status.body, "\"mode\":\"idle\"")) << status.body;
    EXPECT_TRUE(contains(status.body, "\"armband\":{\"found\":false,\"state\":\"none\"}"));
    EXPECT_TRUE(contains(status.body, "\"model\":true,\"evaluation\":\"none\""));
    EXPECT_TRUE(contains(status.body, "\"dataDir\":" + jsonFolder(server.workDir()))) << status.body;

    const Reply css = get("/vendor/uPlot.min.css");
    EXPECT_TRUE(contains(css.head, "Content-Type: text/css"));
    const size_t etag = css.head.find("ETag: ");
    ASSERT_NE(etag, std::string::npos);
    const std::string tag = css.head.substr(etag + 6, css.head.find("\r\n", etag) - etag - 6);
    EXPECT_EQ(get("/vendor/uPlot.min.css", "Host: localhost\r\nIf-None-Match: " + tag + "\r\n").status, 304);
}

TEST(HttpApi, DeletingARecording) {
    ServerProcess server;
    ASSERT_TRUE(server.start());
    serverPort = server.port();
    std::ofstream(server.path("raw2.bin"), std::ios::binary) << "ab";
    std::ofstream(server.path("raw3.bin"), std::ios::binary) << "cd";
    const auto remove = [](const std::string& target, const std::string& headers = "Host: localhost:8888\r\n") {
        return exchange("DELETE " + target + " HTTP/1.1\r\n" + headers + "\r\n").status;
    };
    EXPECT_EQ(remove("/api/recordings/2", "Host: evil.example\r\n"), 403);
    EXPECT_EQ(remove("/api/recordings/2", "Host: localhost:8888\r\nOrigin: http://evil.example\r\n"), 403);
    EXPECT_TRUE(std::filesystem::exists(server.path("raw2.bin"))) << "refused requests delete nothing";
    EXPECT_EQ(remove("/api/recordings/2", "Host: localhost:8888\r\nOrigin: http://localhost:8888\r\n"), 204);
    EXPECT_FALSE(std::filesystem::exists(server.path("raw2.bin")));
    EXPECT_EQ(remove("/api/recordings/2"), 404);
    EXPECT_EQ(remove("/api/recordings/9"), 404);
    EXPECT_FALSE(contains(exchange("OPTIONS /api/recordings/3 HTTP/1.1\r\nHost: localhost\r\n\r\n").head,
                          "Access-Control")) << "no CORS";

    // While gesture 3 records, its file stays; another gesture's may go.
    WsClient client;
    ASSERT_TRUE(client.connect(server.port()));
    for (const Bytes& command : {Bytes{0x02, 0x00}, Bytes{0x03}, Bytes{0x05, 0xFF, 0x07}}) {
        ASSERT_TRUE(client.send(command));
        ASSERT_EQ(client.waitForCode(command[0], 6000), (Bytes{command[0], 0x00}));
    }
    ASSERT_TRUE(client.send({0x06, 3}));
    ASSERT_TRUE(client.waitForCode(0x07, 3000)) << "recording";
    EXPECT_EQ(remove("/api/recordings/3"), 409);
    EXPECT_TRUE(std::filesystem::exists(server.path("raw3.bin")));
    ASSERT_TRUE(client.send({0x07}));
    EXPECT_EQ(client.waitForCode(0x06, 3000), (Bytes{0x06, 0xFD}));
    EXPECT_EQ(remove("/api/recordings/3"), 204);
}

TEST(HttpApi, CrossSiteClientsAreRefused) {
    ServerProcess server;
    server.setArguments({"--allow-origin", "http://app.example:3000", "--allow-host", "bench.lab"});
    ASSERT_TRUE(server.start());
    serverPort = server.port();
    const int connectsBefore = server.countInLog("uWS connect");  // the start-up probe's

    Reply forged = exchange(upgrade("Host: localhost:8888\r\nOrigin: http://evil.example\r\n"));
    EXPECT_EQ(forged.status, 403);
    EXPECT_TRUE(server.waitForLog("refused WebSocket from origin 'http://evil.example'", 2000));
    EXPECT_EQ(exchange(upgrade("Host: evil.example:8888\r\n")).status, 403);
    EXPECT_EQ(get("/api/status", "Host: evil.example\r\n").status, 403);
    EXPECT_TRUE(contains(get("/api/status").body, "\"clients\":0"));
    EXPECT_EQ(server.countInLog("uWS connect"), connectsBefore);

    // The console itself, an allowed web application and an allowed name get in.
    int console = -1;
    int application = -1;
    EXPECT_EQ(exchange(upgrade("Host: localhost:8888\r\nOrigin: http://localhost:8888\r\n"), &console).status, 101);
    EXPECT_EQ(exchange(upgrade("Host: bench.lab:8888\r\nOrigin: http://app.example:3000\r\n"), &application).status,
              101);
    EXPECT_TRUE(server.waitForLog("uWS connect, clients(2)", 2000));
    EXPECT_TRUE(contains(get("/api/status", "Host: bench.lab:8888\r\n").body, "\"clients\":2"));
    platform::closeSocket(console);
    platform::closeSocket(application);
}

TEST(HttpApi, CommandLine) {
    std::string output;
    EXPECT_EQ(runBinary({"--port", "70000"}, output), 2);
    EXPECT_EQ(output, "emgbridge: --port takes a number from 1 to 65535, not '70000'\n");
    EXPECT_EQ(runBinary({"--bogus"}, output), 2);
    EXPECT_EQ(runBinary({"--help"}, output), 0);
    EXPECT_TRUE(contains(output, "--allow-origin ORIGIN"));
    const std::string freePort = std::to_string(pickFreePort());
    EXPECT_EQ(runBinary({"control", "--port", freePort, "ping"}, output), 1);  // no server, so no endpoint
    EXPECT_TRUE(contains(output, "no control endpoint on 127.0.0.1:" + freePort));

    const std::string top = makeTempDir("emgbridge-http");
    const std::string dataDir = top + "/made/here";
    ServerProcess server(top);  // the server makes the data folder inside; all of top is removed below
    server.setArguments({"--data-dir", dataDir});
    ASSERT_TRUE(server.start());
    serverPort = server.port();
    EXPECT_TRUE(server.waitForLog("runEmgBridge, console at http://localhost:" + std::to_string(serverPort) + "/", 2000));
    EXPECT_TRUE(contains(get("/api/status").body, "\"dataDir\":" + jsonFolder(dataDir)));
    EXPECT_EQ(server.countInLog("anyone who can reach"), 0) << "loopback only, by default";
    const int v6 = platform::connectToLoopbackV6(serverPort);
    EXPECT_NE(v6, platform::NO_SOCKET) << "::1 is served too";
    if (v6 != platform::NO_SOCKET) platform::closeSocket(v6);
    const std::string controlPort = std::to_string(server.controlPort());
    EXPECT_EQ(runBinary({"control", "--port", controlPort, "ping", "gesture 2"}, output), 0);
    EXPECT_EQ(output, "ok\nok\n");
    EXPECT_EQ(runBinary({"control", "--port", controlPort, "gesture 12", "ping"}, output), 1);  // stops at the first error
    EXPECT_EQ(output.rfind("error", 0), 0u) << output;
    EXPECT_EQ(output.find("\nok"), std::string::npos);
    server.stop();
    std::error_code stillOpen;  // under Wine a killed server's log may stay open a moment longer
    std::filesystem::remove_all(top, stillOpen);

    ServerProcess open;
    open.setArguments({"--host", "0.0.0.0"});
    ASSERT_TRUE(open.start(false));
    EXPECT_TRUE(open.waitForLog("listening on 0.0.0.0: anyone who can reach port", 5000));
}
