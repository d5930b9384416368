#include "core/logger.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <iostream>

#include "platform/local_time.h"

namespace {

LogTime systemClock() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm local{};
    toLocalTime(seconds, local);  // a moment the system cannot convert keeps the zero date
    return LogTime{static_cast<unsigned>(local.tm_year + 1900),
                   static_cast<unsigned>(local.tm_mon + 1),
                   static_cast<unsigned>(local.tm_mday),
                   static_cast<unsigned>(local.tm_hour),
                   static_cast<unsigned>(local.tm_min),
                   static_cast<unsigned>(local.tm_sec),
                   static_cast<unsigned>(ms)};
}

LogClock activeClock = systemClock;

int formatLine(char* buffer, LogLevel level, const char* tag, const char* format, va_list args) {
    static const char letters[] = "VDIWEF";
    const char letter = (level >= 0 && level <= 5) ? letters[level] : '?';
    const LogTime t = activeClock();
    int header = std::snprintf(buffer, LOG_LINE_SIZE, "(%4.4u-%u-%u %u:%2.2u:%2.2u:%3.3u)[%c/%s]: ", t.year, t.month,
                               t.day, t.hour, t.minute, t.second, t.millisecond, letter, tag);
    if (header < 0) header = 0;
    if (header >= LOG_LINE_SIZE) header = LOG_LINE_SIZE - 1;
    const int message = std::vsnprintf(buffer + header, static_cast<size_t>(LOG_LINE_SIZE - header), format, args);
    const int length = header + (message < 0 ? 0 : message);
    return length < LOG_LINE_SIZE ? length : LOG_LINE_SIZE - 1;
}

}  // namespace

void setLogClock(LogClock clock) {
    activeClock = clock ? clock : systemClock;
}

int formatLogLine(char* buffer, LogLevel level, const char* tag, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int length = formatLine(buffer, level, tag, format, args);
    va_end(args);
    return length;
}

int logPrint(LogLevel level, const char* tag, const char* format, ...) {
    if (level < 1) return 0;
    char line[LOG_LINE_SIZE];
    va_list args;
    va_start(args, format);
    formatLine(line, level, tag, format, args);
    va_end(args);
    std::cout << line << std::endl;
    return 0;
}
