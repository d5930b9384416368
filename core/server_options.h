// Command-line options of the server. Set once by main before any thread
// starts; read-only afterwards.
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

extern ServerOptions serverOptions;

enum class OptionsOutcome {
    RUN,        // options parsed: start the server
    SHOW_HELP,  // --help
    SHOW_VERSION,
    BAD_OPTION,  // error holds a one-line message
};

OptionsOutcome parseServerOptions(int argc, char** argv, ServerOptions& options, std::string& error);

// The usage text printed by --help.
const char* serverUsage();

// Creates the data folder if needed and makes it the working directory, where
// every file of the server lives; false with a message when it cannot.
bool enterDataDir(const std::string& dataDir, std::string& error);

// The console's address for the start-up log, e.g. "http://localhost:8888/".
std::string consoleUrl(const ServerOptions& options);
