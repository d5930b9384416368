// The console control handler: Ctrl+C and a system shutdown ask for an orderly
// end; the other events are passed on. The system's side (signals on POSIX,
// the console's handler routine on Windows) is in platform/console_events.h.
#pragma once

enum ConsoleEvent : int {
    CTRL_C_EVENT = 0,
    CTRL_BREAK_EVENT = 1,
    CTRL_CLOSE_EVENT = 2,
    CTRL_LOGOFF_EVENT = 5,
    CTRL_SHUTDOWN_EVENT = 6,
};

// True when the event was handled; false passes it on (the system's default action).
bool consoleCtrlHandler(int type);

// Keeps the console events away from every thread but the one that takes
// them; call first thing in main.
void blockConsoleSignals();

// Installs (add) or removes the handler; false when installing is not possible.
bool setConsoleCtrlHandler(bool add);
