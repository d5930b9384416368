// The console's end-of-session events, delivered to one handler: Ctrl+C,
// Ctrl+Break, the console window closed, user logoff, system shutdown, as the
// numbers Windows gives them (app/console_control.h names them). On POSIX
// SIGINT stands for Ctrl+C, SIGTERM for shutdown and SIGHUP for the window
// being closed; on Windows they come from the console itself.
#pragma once

namespace platform {

// Returns true when it handled the event; false passes it on to the system's
// default action, which ends the process.
using ConsoleEventHandler = bool (*)(int event);

// POSIX: blocks the console signals in the calling thread and every thread it
// starts afterwards, so that only the waiting thread takes them; call first
// thing in main. Windows: nothing to do.
void blockConsoleEvents();

// Delivers the events to handler from now on (POSIX: on a thread started by
// the first call; Windows: on the console's own handler thread). False when
// that is not possible.
bool watchConsoleEvents(ConsoleEventHandler handler);

// Stops delivering events: they take the system's default action again. Call
// it as the last step of an orderly end; on Windows a close, logoff or
// shutdown event that was handled waits for it (see the implementation).
void unwatchConsoleEvents();

// Delivers event as the system would (tests): on Windows it runs the routine
// registered with the console, including its wait for the end; on POSIX it
// calls the handler, and a false answer is not passed on. False when nothing
// is watching or the handler passed the event on.
bool deliverConsoleEvent(int event);

// True where a handled close, logoff or shutdown holds the system's routine
// (and deliverConsoleEvent) until unwatchConsoleEvents: on Windows, which ends
// the process as soon as the routine returns.
bool endOfSessionWaitsForOrderlyEnd();

}  // namespace platform
