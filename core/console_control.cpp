#include "core/console_control.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

#include "core/exit_application.h"

namespace {

std::atomic<bool> handlerInstalled{false};
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
        case SIGINT: return CTRL_C_EVENT;
        case SIGTERM: return CTRL_SHUTDOWN_EVENT;
        default: return CTRL_CLOSE_EVENT;
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
        if (!(handlerInstalled && consoleCtrlHandler(consoleEventOf(signal)))) passOn(signal);
    }
}

}  // namespace

bool consoleCtrlHandler(int type) {
    switch (type) {
        case CTRL_C_EVENT:
        case CTRL_SHUTDOWN_EVENT: exitApplication(); return true;
        default: return false;
    }
}

void blockConsoleSignals() {
    const sigset_t set = consoleSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool setConsoleCtrlHandler(bool add) {
    if (!add) {
        handlerInstalled = false;
        return true;
    }
    std::call_once(waiterStarted, [] {
        try {
            std::thread(waitForConsoleSignals).detach();
            waiterRunning = true;
        } catch (const std::system_error&) {
            waiterRunning = false;
        }
    });
    if (!waiterRunning) return false;
    handlerInstalled = true;
    return true;
}
