#include "core/exit_application.h"

#include "core/event_queue.h"
#include "core/logger.h"

void exitApplication() {
    logPrint(LOG_DEBUG, LOG_TAG, "exitApplication");
    eventQueue.push(makeRecord({EXIT_EVT}));
}
