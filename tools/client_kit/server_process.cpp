#include "tools/client_kit/server_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "tools/client_kit/ws_client.h"

std::string serverBinary() {
    const char* chosen = std::getenv("EMGBRIDGE_BINARY");
    return chosen && *chosen ? chosen : EMGBRIDGE_BINARY;
}

std::string makeTempDir(const std::string& prefix) {
    std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const char* made = mkdtemp(buffer.data());
    return made ? std::string(made) : std::string();
}

int pickFreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    if (fd >= 0) ::close(fd);
    return port;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

ServerProcess::ServerProcess(std::string workDir)
    : workDir_(std::move(workDir)), port_(pickFreePort()), controlPort_(pickFreePort()) {
    if (workDir_.empty()) {
        workDir_ = makeTempDir("emgbridge");
        ownsWorkDir_ = !workDir_.empty();
    }
    mkdir(workDir_.c_str(), 0755);
    logPath_ = workDir_ + "/server.log";
}

ServerProcess::~ServerProcess() {
    if (pid_ > 0) stop(3000);
    if (ownsWorkDir_) std::filesystem::remove_all(workDir_);
}

bool ServerProcess::start(bool waitReady, int timeoutMs) {
    pid_ = fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
        if (chdir(workDir_.c_str()) != 0) _exit(126);
        const int out = open(logPath_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
            ::close(out);
        }
        // The test runner may have the console signals blocked; the server sets its own mask.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        const std::string binary = serverBinary();
        std::vector<std::string> arguments = arguments_;
        const auto named = [&](const char* option) {
            return std::find(arguments.begin(), arguments.end(), option) != arguments.end();
        };
        if (!defaultPorts_ && !named("--port")) arguments.insert(arguments.end(), {"--port", std::to_string(port_)});
        if (!defaultPorts_ && !named("--control-port")) {
            arguments.insert(arguments.end(), {"--control-port", std::to_string(controlPort_)});
        }
        std::vector<char*> argv{const_cast<char*>(binary.c_str())};
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    if (!waitReady) return true;
    if (!waitForLog("uWS server started", timeoutMs)) return false;
    const int connections = countInLog("uWS connect, clients(");
    WsClient probe;
    if (!probe.connect(port_, timeoutMs)) return false;
    const int64_t deadline = nowMs() + timeoutMs;
    while (countInLog("uWS connect, clients(") == connections) {
        if (nowMs() > deadline) return false;
        usleep(5000);
    }
    return true;
}

bool ServerProcess::running() {
    if (pid_ <= 0) return false;
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == 0) return true;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    pid_ = -1;
    return false;
}

void ServerProcess::signal(int signal) {
    if (pid_ > 0) kill(pid_, signal);
}

int ServerProcess::wait(int timeoutMs) {
    if (pid_ <= 0) return exitCode_;
    const int64_t deadline = nowMs() + timeoutMs;
    while (nowMs() < deadline) {
        if (!running()) return exitCode_;
        usleep(10000);
    }
    return -1;
}

int ServerProcess::stop(int timeoutMs) {
    if (pid_ <= 0) return exitCode_;
    signal(SIGINT);
    const int code = wait(timeoutMs);
    if (code != -1) return code;
    signal(SIGKILL);
    return wait(5000);
}

std::string ServerProcess::log() const {
    return readFile(logPath_);
}

bool ServerProcess::waitForLog(const std::string& text, int timeoutMs) const {
    const int64_t deadline = nowMs() + timeoutMs;
    do {
        if (log().find(text) != std::string::npos) return true;
        usleep(20000);
    } while (nowMs() < deadline);
    return false;
}

int ServerProcess::countInLog(const std::string& text) const {
    const std::string content = log();
    int count = 0;
    for (size_t at = content.find(text); at != std::string::npos; at = content.find(text, at + text.size())) ++count;
    return count;
}
