// The one diagnostic channel: printf-style lines on standard output, each
// stamped with local date and time, a level letter and a tag.
#pragma once

#include <cstdint>

#include "platform/portable.h"

using LogLevel = int;  // index into "VDIWEF"; levels below 1 are not written

constexpr LogLevel LOG_DEBUG = 1;
constexpr const char* LOG_TAG = "RudovUrev";
constexpr int LOG_LINE_SIZE = 1024;

int logPrint(LogLevel level, const char* tag, const char* format, ...) EMG_PRINTF_FORMAT(3, 4);

// Local wall-clock time with milliseconds, as the header prints it.
struct LogTime {
    unsigned year, month, day, hour, minute, second, millisecond;
};
using LogClock = LogTime (*)();

// Replaces the clock (tests); nullptr restores the system clock.
void setLogClock(LogClock clock);

// Formats the whole line (header and message) into buffer, which holds
// LOG_LINE_SIZE characters; returns the line's length.
int formatLogLine(char* buffer, LogLevel level, const char* tag, const char* format, ...)
    EMG_PRINTF_FORMAT(4, 5);
