// Commands run in this process against a real WebSocket server thread, so
// their replies can be read by a client; each test in a fresh working folder.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "armband/kinvo_handle.h"
#include "client/ws_server.h"
#include "commands/dispatcher.h"
#include "core/data_files.h"
#include "core/event_queue.h"
#include "core/operating_state.h"
#include "core/server_options.h"
#include "tools/client_kit/server_process.h"
#include "tools/client_kit/ws_client.h"

class CommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        static bool serverStarted = [] {
            serverOptions.port = pickFreePort();
            std::thread(serverThread).detach();
            return true;
        }();
        (void)serverStarted;
        ASSERT_TRUE(client.connect(serverOptions.port, 5000));
        const int64_t deadline = nowMs() + 3000;
        while (connectedClients() < 1 && nowMs() < deadline) usleep(2000);
        previousDir = getcwd(nullptr, 0);
        workDir = makeTempDir("emgbridge-commands");
        ASSERT_EQ(chdir(workDir.c_str()), 0);
        if (!listener) listener = std::make_shared<KinvoHandle>(nullptr);
        operatingMode = MODE_IDLE;
    }
    void TearDown() override {
        client.close();
        const int64_t deadline = nowMs() + 3000;
        while (connectedClients() > 0 && nowMs() < deadline) usleep(2000);
        if (chdir(previousDir) != 0) ADD_FAILURE() << "cannot return to " << previousDir;
        free(previousDir);
        std::error_code ignored;
        std::filesystem::remove_all(workDir, ignored);
        operatingMode = MODE_IDLE;
        channelMask = channelCount = gestureMask = gestureCount = 0;
    }

    // Runs one command as the main loop would; returns its log.
    std::string command(const Bytes& bytes) {
        testing::internal::CaptureStdout();
        handleClientCommands(bytes.data(), static_cast<uint8_t>(bytes.size()));
        return testing::internal::GetCapturedStdout();
    }
    std::optional<Bytes> reply(int timeoutMs = 2000) {
        std::optional<WsMessage> message = client.receive(timeoutMs);
        if (!message) return std::nullopt;
        return message->payload;
    }
    // True when the clients received nothing: a PING's reply is the next message.
    bool nothingSent() {
        command({0x01});
        return reply() == Bytes{0x01, 0x00};
    }
    // A "W&B.txt" of rows x columns numbers: (r * 10 + c) / 2 in row r, column c.
    static void writeWeights(int rows, int columns) {
        std::ofstream out(MODEL_FILE_NAME);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c) out << (r * 10 + c) * 0.5f << (c + 1 < columns ? " " : "\n");
    }
    void configure(uint8_t channels, uint8_t gestures) {
        channelMask = channels;
        channelCount = bitCount(channels);
        gestureMask = gestures;
        gestureCount = bitCount(gestures);
    }

    WsClient client;
    std::string workDir;
    char* previousDir = nullptr;
};
