// The server's command line: parsed into ServerOptions, the --help text, and
// what main does with the options before the server starts.
#pragma once

#include <string>

#include "core/server_options.h"

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
