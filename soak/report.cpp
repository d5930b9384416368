#include "soak/report.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>

namespace {

const auto startTime = std::chrono::steady_clock::now();

constexpr size_t LARGEST_MESSAGE = 255;
constexpr size_t LARGEST_PREVIEW = 1 + 4 * 8;  // four frames of at most 8 channels

// The statuses of the two-byte replies; any byte for 0x10 (gestures), 0..100 for 0x0D (progress).
const std::map<uint8_t, Bytes> STATUSES = {
    {0x01, {0x00, 0xFF}},
    {0x02, {0x00, 0xFF}},
    {0x03, {0x00, 0xFF}},
    {0x04, {0x00, 0xFF}},
    {0x05, {0x00, 0xF0, 0xF1, 0xF2, 0xFF}},
    {0x06, {0x00, 0xFF, 0xFD}},
    {0x0A, {0x00, 0xFF, 0xFD}},
    {0x08, {0xFF, 0xFD, 1, 2, 3, 4, 5, 6, 7, 8}},  // or an identified gesture
    {0x0C, {0x00, 0xF0, 0xF1, 0xF2, 0xFF, 0xEE, 0xEF, 0xFD}},
    {0x0D, {}},
    {0x10, {}},
};

// The code byte and the text, cut at 255 bytes in all; either armband text may be empty.
std::string version(const Bytes& m, const VersionTexts& v) {
    const std::string text(m.begin() + 1, m.end());
    for (const std::string& fw : {std::string(), v.firmware}) {
        for (const std::string& hw : {std::string(), v.hardware}) {
            if (text == ("000.005.012/" + fw + "/" + hw).substr(0, LARGEST_MESSAGE - 1)) return "";
        }
    }
    return "a version text that is none of the possible ones";
}

}  // namespace

std::string protocolViolation(const WsMessage& message, const VersionTexts& versions) {
    const Bytes& m = message.payload;
    if (message.opcode != 2) return "opcode " + std::to_string(message.opcode) + " instead of binary";
    if (m.empty() || m.size() > LARGEST_MESSAGE) return "a message of " + std::to_string(m.size()) + " bytes";
    if (m[0] == 0x07) return (m.size() - 1) % 4 == 0 && m.size() <= LARGEST_PREVIEW ? "" : "a preview no packet gives";
    if (m[0] == 0x30) return version(m, versions);
    const auto code = STATUSES.find(m[0]);
    if (code == STATUSES.end()) return "a code the server never sends";
    if (m.size() != 2) return "a reply of " + std::to_string(m.size()) + " bytes";
    if (m[0] == 0x0D) return m[1] <= 100 ? "" : "a progress that is not a percentage";
    const Bytes& allowed = code->second;
    return m[0] == 0x10 || std::count(allowed.begin(), allowed.end(), m[1]) ? "" : "a status this code never carries";
}

void note(const std::string& text) {
    std::printf("[%7.1f s] %s\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - startTime).count(),
                text.c_str());
    std::fflush(stdout);
}

std::string describe(const Bytes& bytes) {
    char hex[4];
    std::string out = "[";
    for (size_t i = 0; i < bytes.size() && i < 8; ++i)
        out += (std::snprintf(hex, sizeof hex, i ? " %02x" : "%02x", bytes[i]), hex);
    return out + (bytes.size() > 8 ? " ... (" + std::to_string(bytes.size()) + " bytes)]" : "]");
}

void Report::check(bool ok, const std::string& name, const std::string& detail) {
    int failures;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        failures = failures_[name] += ok ? 0 : 1;
    }
    if (!ok && failures <= 5) note("FAIL " + name + (detail.empty() ? "" : ": " + detail));
}

void Report::count(const std::string& name, uint64_t amount) {
    std::lock_guard<std::mutex> lock(mutex_);
    counters_[name] += amount;
}

int Report::failed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(std::count_if(failures_.begin(), failures_.end(), [](auto& f) { return f.second > 0; }));
}

void Report::print(const std::vector<std::string>& figures) const {
    const int failedChecks = failed();
    std::lock_guard<std::mutex> lock(mutex_);
    for (const std::string& line : figures) std::printf("  %s\n", line.c_str());
    for (const auto& [name, value] : counters_)
        std::printf("  %s: %llu\n", name.c_str(), static_cast<unsigned long long>(value));
    for (const auto& [name, times] : failures_)
        if (times > 0) std::printf("  failed: %s (x%d)\n", name.c_str(), times);
    std::printf("soak: %d passed, %d failed\n", static_cast<int>(failures_.size()) - failedChecks, failedChecks);
    std::fflush(stdout);
}

void countFault(Report& report, std::string line) {
    for (size_t space; (space = line.rfind(' ')) != std::string::npos &&
                       line.find_first_not_of("-0123456789", space + 1) == std::string::npos;)
        line.erase(space);
    report.count("fault: " + line);
}
