#include "tools/client_kit/server_process.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "core/data_files.h"
#include "platform/directories.h"
#include "platform/sockets.h"
#include "tools/client_kit/ws_client.h"

namespace {

// How often the child's end and its log are looked at while waiting.
constexpr std::chrono::milliseconds END_POLL_INTERVAL{10};
constexpr std::chrono::milliseconds LOG_POLL_INTERVAL{20};

}  // namespace

std::string serverBinary() {
    const char* chosen = std::getenv("EMGBRIDGE_BINARY");
    return chosen && *chosen ? chosen : EMGBRIDGE_BINARY;
}

int pickFreePort() {
    return platform::freeLoopbackPort();
}

std::string makeTempDir(const std::string& prefix) {
    std::string made;
    return platform::makeTemporaryDirectory(prefix, made) == 0 ? made : std::string();
}

std::string readFile(const std::string& path) {
    std::string content;
    readWholeFile(path, content);
    return content;
}

ServerProcess::ServerProcess(std::string workDir)
    : workDir_(std::move(workDir)), port_(pickFreePort()), controlPort_(pickFreePort()) {
    if (workDir_.empty()) {
        workDir_ = makeTempDir("emgbridge");
        ownsWorkDir_ = !workDir_.empty();
    }
    platform::makeDirectories(workDir_);
    logPath_ = workDir_ + "/server.log";
}

ServerProcess::~ServerProcess() {
    if (child_.pid > 0) stop(3000);
    // Never a throw from here: under Wine a killed server's log can stay open a moment longer.
    std::error_code stillOpen;
    if (ownsWorkDir_) std::filesystem::remove_all(workDir_, stillOpen);
}

bool ServerProcess::start(bool waitReady, int timeoutMs) {
    std::vector<std::string> arguments = arguments_;
    const auto named = [&](const char* option) {
        return std::find(arguments.begin(), arguments.end(), option) != arguments.end();
    };
    if (!defaultPorts_ && !named("--port")) arguments.insert(arguments.end(), {"--port", std::to_string(port_)});
    if (!defaultPorts_ && !named("--control-port")) {
        arguments.insert(arguments.end(), {"--control-port", std::to_string(controlPort_)});
    }
    if (!platform::startChild(serverBinary(), arguments, workDir_, logPath_, child_)) return false;
    if (!waitReady) return true;
    if (!waitForLog("uWS server started", timeoutMs)) return false;
    const int connections = countInLog("uWS connect, clients(");
    WsClient probe;
    if (!probe.connect(port_, timeoutMs)) return false;
    const int64_t deadline = nowMs() + timeoutMs;
    while (countInLog("uWS connect, clients(") == connections) {
        if (nowMs() > deadline) return false;
        std::this_thread::sleep_for(LOG_POLL_INTERVAL);
    }
    return true;
}

bool ServerProcess::running() {
    return child_.pid > 0 && !platform::childEnded(child_, exitCode_);
}

void ServerProcess::signal(platform::ChildStop how) {
    platform::stopChild(child_, how);
}

int ServerProcess::wait(int timeoutMs) {
    if (child_.pid <= 0) return exitCode_;
    const int64_t deadline = nowMs() + timeoutMs;
    while (nowMs() < deadline) {
        if (!running()) return exitCode_;
        std::this_thread::sleep_for(END_POLL_INTERVAL);
    }
    return -1;
}

int ServerProcess::stop(int timeoutMs) {
    if (child_.pid <= 0) return exitCode_;
    signal(platform::ChildStop::INTERRUPT);
    const int code = wait(timeoutMs);
    if (code != -1) return code;
    signal(platform::ChildStop::KILL);
    return wait(5000);
}

std::string ServerProcess::log() const {
    return readFile(logPath_);
}

bool ServerProcess::waitForLog(const std::string& text, int timeoutMs) const {
    const int64_t deadline = nowMs() + timeoutMs;
    do {
        if (log().find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(LOG_POLL_INTERVAL);
    } while (nowMs() < deadline);
    return false;
}

int ServerProcess::countInLog(const std::string& text) const {
    const std::string content = log();
    int count = 0;
    for (size_t at = content.find(text); at != std::string::npos; at = content.find(text, at + text.size())) ++count;
    return count;
}
