#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "core/app.h"
#include "core/console_control.h"
#include "model/evaluate_command.h"

// The worker threads are detached and may still be inside the hub's run loop
// or the WebSocket event loop when the server has shut down. The process
// therefore ends without static destruction, once the output is flushed, so
// that no thread can touch a destroyed object.
int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "evaluate") == 0)
        return runEvaluateCommand(argc, argv);
    blockConsoleSignals();
    const int exitCode = runEmgBridge();
    std::cout.flush();
    std::fflush(stdout);
    std::_Exit(exitCode);
}
