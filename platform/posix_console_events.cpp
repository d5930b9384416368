#include "platform/console_events.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

namespace platform {

namespace {

// The console event numbers of console_events.h.
constexpr int CONSOLE_CTRL_C = 0;
constexpr int CONSOLE_CLOSE = 2;
constexpr int CONSOLE_SHUTDOWN = 6;

// Written by watch/unwatch (main thread), read by the waiting thread.
std::atomic<ConsoleEventHandler> currentHandler{nullptr};
std::once_flag waiterStarted;
bool waiterRunning = false;

sigset_t consoleSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

int consoleEventOf(int signal) {
    switch (signal) {
        case SIGINT: return CONSOLE_CTRL_C;
        case SIGTERM: return CONSOLE_SHUTDOWN;
        default: return CONSOLE_CLOSE;
    }
}

// Lets the signal take its default action (for these three: end the process).
void passOn(int signal) {
    ::signal(signal, SIG_DFL);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, signal);
    pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    raise(signal);
    pthread_sigmask(SIG_BLOCK, &one, nullptr);
}

void waitForConsoleSignals() {
    const sigset_t set = consoleSignals();
    for (;;) {
        int signal = 0;
        if (sigwait(&set, &signal) != 0) continue;
        const ConsoleEventHandler handler = currentHandler;
        if (!(handler && handler(consoleEventOf(signal)))) passOn(signal);
    }
}

}  // namespace

void blockConsoleEvents() {
    const sigset_t set = consoleSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool watchConsoleEvents(ConsoleEventHandler handler) {
    std::call_once(waiterStarted, [] {
        try {
            std::thread(waitForConsoleSignals).detach();
            waiterRunning = true;
        } catch (const std::system_error&) {
            waiterRunning = false;
        }
    });
    if (!waiterRunning) return false;
    currentHandler = handler;
    return true;
}

void unwatchConsoleEvents() {
    currentHandler = nullptr;
}

bool deliverConsoleEvent(int event) {
    const ConsoleEventHandler handler = currentHandler;
    return handler && handler(event);
}

bool endOfSessionWaitsForOrderlyEnd() {
    return false;
}

}  // namespace platform
