// Runs the real server binary for a test or a tool: its own working directory, its
// output in a log file, and always stopped (killed as a last resort) when
// the object goes away.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/child_process.h"

class ServerProcess {
public:
    // workDir is created when missing; empty means a fresh temporary directory.
    explicit ServerProcess(std::string workDir = "");
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Command-line arguments of the next start (none by default). --port and
    // --control-port are added with free ports unless the arguments name them.
    void setArguments(std::vector<std::string> arguments) { arguments_ = std::move(arguments); }
    // Starts the binary; with waitReady, waits for "uWS server started" and for
    // a WebSocket client of its port to show in its own log, which proves that
    // the server answering on the port is this one.
    bool start(bool waitReady = true, int timeoutMs = 10000);
    // The WebSocket port and the virtual armband's control port it is given.
    int port() const { return port_; }
    int controlPort() const { return controlPort_; }
    // Runs it on 8888 and 8889 with no port options, as builds before --control-port ran.
    void useDefaultPorts() {
        port_ = 8888;
        controlPort_ = 8889;
        defaultPorts_ = true;
    }
    bool running();
    // Asks it to end (see platform::ChildStop for what each system can deliver).
    void signal(platform::ChildStop how);
    // Waits for the process to end; its exit code, 128 + signal when killed, -1 on time-out.
    int wait(int timeoutMs);
    // Stops it: an interrupt (Ctrl+C), then a kill when it does not end in time.
    int stop(int timeoutMs = 5000);

    std::string log() const;
    // True once the log holds text (polling, bounded).
    bool waitForLog(const std::string& text, int timeoutMs) const;
    // Number of times text occurs in the log.
    int countInLog(const std::string& text) const;
    const std::string& workDir() const { return workDir_; }
    std::string path(const std::string& name) const { return workDir_ + "/" + name; }
    int64_t pid() const { return child_.pid; }

private:
    std::string workDir_;
    bool ownsWorkDir_ = false;  // a temporary folder made here is removed again
    std::string logPath_;
    std::vector<std::string> arguments_;
    int port_;
    int controlPort_;
    bool defaultPorts_ = false;
    platform::ChildProcess child_;
    int exitCode_ = -1;
};

// A port on 127.0.0.1 that was free a moment ago (the system's pick).
int pickFreePort();

// Path of the server binary: $EMGBRIDGE_BINARY, else the one built here.
std::string serverBinary();
// A fresh temporary directory.
std::string makeTempDir(const std::string& prefix);
// Reads a whole file (readWholeFile; "" when missing, what could be read after a read error).
std::string readFile(const std::string& path);
