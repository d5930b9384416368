#include "platform/console_events.h"

#include <windows.h>

#include <atomic>

namespace platform {

namespace {

// Windows ends the process as soon as the routine returns from a close, logoff
// or shutdown event, and at the latest 5 s after a close (logoff and shutdown
// allow about as long). A handled one therefore waits for the orderly end
// (unwatchConsoleEvents, the last step before main returns), at most this long.
constexpr DWORD CLEAN_END_WAIT_MS = 4500;

// Written by watch/unwatch (main thread), read on the console's handler thread.
std::atomic<ConsoleEventHandler> currentHandler{nullptr};
// Set by unwatchConsoleEvents: the orderly end is done.
HANDLE endedEvent = nullptr;
// Whether consoleRoutine is registered with the console (main thread only).
bool routineRegistered = false;

bool endsTheProcess(DWORD event) {
    return event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
}

BOOL WINAPI consoleRoutine(DWORD event) {
    const ConsoleEventHandler handler = currentHandler;
    if (!handler || !handler(static_cast<int>(event))) return FALSE;
    if (endsTheProcess(event) && endedEvent) WaitForSingleObject(endedEvent, CLEAN_END_WAIT_MS);
    return TRUE;
}

}  // namespace

void blockConsoleEvents() {}

bool watchConsoleEvents(ConsoleEventHandler handler) {
    if (!endedEvent) endedEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!endedEvent) return false;
    ResetEvent(endedEvent);
    if (!routineRegistered) routineRegistered = SetConsoleCtrlHandler(consoleRoutine, TRUE) != 0;
    if (!routineRegistered) return false;
    currentHandler = handler;
    return true;
}

void unwatchConsoleEvents() {
    currentHandler = nullptr;
    if (routineRegistered) SetConsoleCtrlHandler(consoleRoutine, FALSE);
    routineRegistered = false;
    if (endedEvent) SetEvent(endedEvent);
}

bool deliverConsoleEvent(int event) {
    return consoleRoutine(static_cast<DWORD>(event)) == TRUE;
}

bool endOfSessionWaitsForOrderlyEnd() {
    return true;
}

}  // namespace platform
