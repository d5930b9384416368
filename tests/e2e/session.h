// One running server with a WebSocket client and a control connection to its
// virtual armband, for the protocol tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tools/client_kit/server_process.h"
#include "tools/client_kit/ws_client.h"

class Session {
public:
    explicit Session(std::string workDir = "") : server(std::move(workDir)) {}

    // Starts the server and connects both clients.
    bool open() {
        return server.start() && client.connect(server.port()) && control.connect(server.controlPort());
    }

    // Sends a command and returns the first message with the given code.
    std::optional<Bytes> request(const Bytes& command, uint8_t replyCode, int timeoutMs = 5000) {
        if (!client.send(command)) return std::nullopt;
        return client.waitForCode(replyCode, timeoutMs);
    }

    // True when no message other than EMG previews arrives within the time.
    bool quietFor(int timeoutMs) {
        for (const Bytes& message : client.drain(timeoutMs)) {
            if (message.empty() || message[0] != 0x07) return false;
        }
        return true;
    }

    // The round trip of a PING: proves the main loop is free.
    bool pingAnswered(int timeoutMs = 3000) { return request({0x01}, 0x01, timeoutMs) == Bytes{0x01, 0x00}; }

    // Scan and connect the virtual armband.
    bool connectArmband() {
        if (request({0x02, 0x00}, 0x02, 5000) != Bytes{0x02, 0x00}) return false;
        return request({0x03}, 0x03, 6000) == Bytes{0x03, 0x00};
    }

    std::string controlCommand(const std::string& line) { return control.command(line); }

    ServerProcess server;
    WsClient client;
    ControlClient control;
};
