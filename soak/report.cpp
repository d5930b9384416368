#include "soak/report.h"

#include <chrono>
#include <cstdio>

namespace {

const auto startTime = std::chrono::steady_clock::now();

}  // namespace

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
    int failed = 0;
    for (const auto& entry : failures_) failed += entry.second > 0;
    return failed;
}

void Report::print(const std::vector<std::string>& figures) const {
    const int failedChecks = failed();
    std::lock_guard<std::mutex> lock(mutex_);
    for (const std::string& line : figures) std::printf("  %s\n", line.c_str());
    for (const auto& [name, value] : counters_)
        std::printf("  %s: %llu\n", name.c_str(), static_cast<unsigned long long>(value));
    for (const auto& [name, times] : failures_) {
        if (times > 0) std::printf("  failed: %s (x%d)\n", name.c_str(), times);
    }
    std::printf("soak: %d passed, %d failed\n", static_cast<int>(failures_.size()) - failedChecks, failedChecks);
    std::fflush(stdout);
}

void countFault(Report& report, std::string line) {
    for (size_t space; (space = line.rfind(' ')) != std::string::npos &&
                       line.find_first_not_of("-0123456789", space + 1) == std::string::npos;) {
        line.erase(space);
    }
    report.count("fault: " + line);
}
