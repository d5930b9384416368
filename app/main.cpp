#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "app/app.h"
#include "app/command_line.h"
#include "app/console_control.h"
#include "app/control_command.h"
#include "app/evaluate_command.h"
#include "commands/protocol.h"

namespace {

constexpr int EXIT_BAD_OPTION = 2;

// Parses the options and enters the data folder; returns -1 to go on and
// start the server, else the exit code.
int applyOptions(int argc, char** argv) {
    std::string error;
    switch (parseServerOptions(argc, argv, serverOptions, error)) {
        case OptionsOutcome::SHOW_HELP: std::fputs(serverUsage(), stdout); return 0;
        case OptionsOutcome::SHOW_VERSION: std::printf("emgbridge %s\n", SERVER_VERSION); return 0;
        case OptionsOutcome::BAD_OPTION: std::fprintf(stderr, "emgbridge: %s\n", error.c_str()); return EXIT_BAD_OPTION;
        case OptionsOutcome::RUN: break;
    }
    if (!enterDataDir(serverOptions.dataDir, error)) {
        std::fprintf(stderr, "emgbridge: %s\n", error.c_str());
        return EXIT_BAD_OPTION;
    }
    return -1;
}

}  // namespace

// The worker threads are detached and may still be inside the hub's run loop
// or the WebSocket event loop when the server has shut down. The process
// therefore ends without static destruction, once the output is flushed, so
// that no thread can touch a destroyed object.
int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "control") == 0) return runControlCommand(argc - 1, argv + 1);
    if (argc > 1 && std::strcmp(argv[1], "evaluate") == 0) return runEvaluateCommand(argc, argv);
    const int optionsExit = applyOptions(argc, argv);
    if (optionsExit >= 0) return optionsExit;
    blockConsoleSignals();
    const int exitCode = runEmgBridge();
    std::cout.flush();
    std::fflush(stdout);
    std::_Exit(exitCode);
}
