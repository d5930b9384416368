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
    platform::toLocalTime(seconds, local);  // a moment the system cannot convert keeps the zero date
    return LogTime{static_cast<unsigned>(local.tm_year + 1900),
                   static_cast<unsigned>(local.tm_mon + 1),
                   static_cast<unsigned>(local.tm_mday),
                   static_cast<unsigned>(local.tm_hour),
                   static_cast<unsigned>(local.tm_min),
                   static_cast<unsigned>(local.tm_sec),
                   static_cast<unsigned>(ms)};
}

LogClock activeClock = systemClock;

// Copies text to out (room bytes, terminator included) with every byte below
// 0x20 and 0x7F written as \xNN: messages carry texts from outside (header
// values, version texts, file names), which must not start a forged line or
// reach the terminal as an escape sequence. An escape that does not fit whole
// is left out. Returns the length written.
int escapeControls(const char* text, char* out, size_t room) {
    static const char digits[] = "0123456789ABCDEF";
    size_t length = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        const bool control = byte < 0x20 || byte == 0x7F;
        const size_t width = control ? 4 : 1;
        if (length + width >= room) break;
        if (control) {
            out[length++] = '\\';
            out[length++] = 'x';
            out[length++] = digits[byte >> 4];
            out[length++] = digits[byte & 0x0F];
        } else {
            out[length++] = *p;
        }
    }
    if (room > 0) out[length] = '\0';
    return static_cast<int>(length);
}

int formatLine(char* buffer, LogLevel level, const char* tag, const char* format, va_list args) {
    static const char letters[] = "VDIWEF";
    const char letter = (level >= 0 && level <= 5) ? letters[level] : '?';
    const LogTime t = activeClock();
    int header = std::snprintf(buffer, LOG_LINE_SIZE, "(%4.4u-%u-%u %u:%2.2u:%2.2u:%3.3u)[%c/%s]: ", t.year, t.month,
                               t.day, t.hour, t.minute, t.second, t.millisecond, letter, tag);
    if (header < 0) header = 0;
    if (header >= LOG_LINE_SIZE) header = LOG_LINE_SIZE - 1;
    char message[LOG_LINE_SIZE];
    if (std::vsnprintf(message, sizeof message, format, args) < 0) message[0] = '\0';
    return header + escapeControls(message, buffer + header, static_cast<size_t>(LOG_LINE_SIZE - header));
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
