#include "app/app.h"

#include <cstdio>
#include <thread>

#include "app/command_line.h"
#include "app/console_control.h"
#include "armband/hub_events.h"
#include "armband/kinvo_handle.h"
#include "armband/watch_stream.h"
#include "client/ws_server.h"
#include "commands/dispatcher.h"
#include "commands/identify_thread.h"
#include "commands/recording.h"
#include "core/event_queue.h"
#include "core/logger.h"
#ifdef EMG_VIRTUAL_ARMBAND
#include "sim/test_hooks.h"
#endif

std::atomic<bool> exitRequested{false};

namespace {

constexpr int HUB_MODE = 1;
constexpr int HUB_RUN_TIMEOUT_MS = 10;

void shutdownHub() {
    hub->unregisterListener(std::weak_ptr<kv::HubListener>(listener));
    hub->shutdown();
    setConsoleCtrlHandler(false);
}

}  // namespace

void dispatchRecord(const EventRecord& record, char* dump) {
    if (record->empty()) return;
    const uint8_t type = (*record)[0];
    const uint8_t length = static_cast<uint8_t>((record->size() - 1) % 256);
    const uint8_t* payload = record->data() + 1;
    formatHexDump(payload, length, dump);
    switch (type) {
        case APP_CLIENT_EVT:
            logPrint(LOG_DEBUG, LOG_TAG, "APP_CLIENT_EVT: %s", dump);
            handleClientCommands(payload, length);
            break;
        case HUB_EVT:
            logPrint(LOG_DEBUG, LOG_TAG, "HUB_EVT: %s", dump);
            handleHubEvents(payload, length);
            break;
        case TIMER_EVT:
            logPrint(LOG_DEBUG, LOG_TAG, "TIMER_EVT: %s", dump);
            handleTimerEvents(payload, length);
            break;
        case INTERNAL_EVT:
            logPrint(LOG_DEBUG, LOG_TAG, "INTERNAL_EVT: %s", dump);
            handleInternalEvents(payload, length);
            break;
        case EXIT_EVT:
            logPrint(LOG_DEBUG, LOG_TAG, "EXIT_EVT: %s", dump);
            exitRequested = true;
            break;
        case WATCH_EVT: logPrint(LOG_DEBUG, LOG_TAG, "WATCH_EVT: %s", dump); break;
        default: break;
    }
    // Every record may have ended a mode or changed the armband or the watchers.
    updateWatchStream();
}

void formatHexDump(const uint8_t* payload, uint8_t length, char* dump) {
    static const char digits[] = "0123456789abcdef";
    char* out = dump;
    for (unsigned i = 0; i < length; ++i) {
        *out++ = '0';
        *out++ = 'x';
        *out++ = digits[payload[i] >> 4];
        *out++ = digits[payload[i] & 0x0F];
        *out++ = ' ';
    }
    *out = '\0';
}

void runMainLoop() {
    static char dump[HEX_DUMP_SIZE];
    while (!exitRequested) {
        EventRecord record = eventQueue.pop();
        dispatchRecord(record, dump);
    }
}

void sdkPollThread() {
    for (;;) {
        const int result = hub->run(HUB_RUN_TIMEOUT_MS);
        if (result != 0 && result != kv::RUN_TIMEOUT) {
            logPrint(LOG_DEBUG, LOG_TAG, "Method run() failed: %d", result);
            return;
        }
    }
}

int runEmgBridge() {
#ifdef EMG_VIRTUAL_ARMBAND
    kv::sim::setControlPort(static_cast<uint16_t>(serverOptions.controlPort));
#endif
    hub = kv::HubManager::getHubInstance(CLIENT_NAME);
    if (!hub) {
        logPrint(LOG_DEBUG, LOG_TAG, "hub init failed: %d", -1);
        return 1;
    }
    hub->setHubMode(HUB_MODE);
    listener = std::make_shared<KinvoHandle>(hub);
    const int registered = hub->registerListener(std::weak_ptr<kv::HubListener>(listener));
    logPrint(LOG_DEBUG, LOG_TAG, "registerListener %s", registered == 0 ? "SUCCESS" : "FAIL");
    const int initResult = hub->init(0);
    if (initResult != 0) {
        logPrint(LOG_DEBUG, LOG_TAG, "hub init failed: %d", initResult);
        return 1;
    }
    std::thread(sdkPollThread).detach();
    std::thread(identifyThread).detach();
    std::thread(serverThread).detach();

    if (!setConsoleCtrlHandler(true)) {
        logPrint(LOG_DEBUG, LOG_TAG, "Error: could not set control handler.");
    } else {
        logPrint(LOG_DEBUG, LOG_TAG, "uWS server started");
        if (serverOptions.console) {
            logPrint(LOG_DEBUG, LOG_TAG, "%s, console at %s", "runEmgBridge", consoleUrl(serverOptions).c_str());
        }
        runMainLoop();
    }
    shutdownHub();
    return 0;
}
