#include "app/console_control.h"

#include "core/exit_application.h"
#include "platform/console_events.h"

bool consoleCtrlHandler(int type) {
    switch (type) {
        case CTRL_C_EVENT:
        case CTRL_SHUTDOWN_EVENT: exitApplication(); return true;
        default: return false;
    }
}

void blockConsoleSignals() {
    platform::blockConsoleEvents();
}

bool setConsoleCtrlHandler(bool add) {
    if (!add) {
        platform::unwatchConsoleEvents();
        return true;
    }
    return platform::watchConsoleEvents(consoleCtrlHandler);
}
