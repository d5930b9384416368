// Console control events on Linux: SIGINT stands for Ctrl+C, SIGTERM for a
// system shutdown and SIGHUP for the console window being closed. The signals
// are blocked in every thread and taken by one thread that waits for them,
// so the handler may log and push like any other thread.
#pragma once

enum ConsoleEvent : int {
    CTRL_C_EVENT = 0,
    CTRL_BREAK_EVENT = 1,
    CTRL_CLOSE_EVENT = 2,
    CTRL_LOGOFF_EVENT = 5,
    CTRL_SHUTDOWN_EVENT = 6,
};

// True when the event was handled; false passes it on (the signal's default action).
bool consoleCtrlHandler(int type);

// Blocks the console signals in the calling thread and every thread it starts
// afterwards; call first thing in main.
void blockConsoleSignals();

// Installs (add) or removes the handler. The first install starts the
// waiting thread; false when that is not possible.
bool setConsoleCtrlHandler(bool add);
