// The server's options, from its command line (app/command_line.h). Set once
// by main before any thread starts; read-only afterwards.
#pragma once

#include <string>
#include <vector>

// The virtual armband's control endpoint on 127.0.0.1 (default of --control-port).
constexpr int DEFAULT_CONTROL_PORT = 8889;

struct ServerOptions {
    std::string host;  // address to listen on; empty: the loopback addresses 127.0.0.1 and ::1
    int port = 8888;
    int controlPort = DEFAULT_CONTROL_PORT;  // used only with the virtual armband
    std::string dataDir;  // empty: the working directory
    std::vector<std::string> allowedHosts;
    std::vector<std::string> allowedOrigins;
    bool console = true;  // serve the web console and its HTTP API
};

inline ServerOptions serverOptions;
