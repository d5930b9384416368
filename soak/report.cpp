#include "soak/report.h"

#include <chrono>
#include <cstdio>

namespace {

constexpr int PRINTED_FAILURES_PER_CHECK = 5;
const auto startTime = std::chrono::steady_clock::now();

}  // namespace

void note(const std::string& text) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - startTime).count();
    std::printf("[%7.1f s] %s\n", seconds, text.c_str());
    std::fflush(stdout);
}

std::string describe(const Bytes& bytes) {
    std::string out = "[";
    char hex[4];
    for (size_t i = 0; i < bytes.size() && i < 8; ++i) {
        std::snprintf(hex, sizeof hex, i ? " %02x" : "%02x", bytes[i]);
        out += hex;
    }
    if (bytes.size() > 8) out += " ... (" + std::to_string(bytes.size()) + " bytes)";
    return out + "]";
}

void Report::check(bool ok, const std::string& name, const std::string& detail) {
    int failures;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        failures = failures_[name] += ok ? 0 : 1;
    }
    if (!ok && failures <= PRINTED_FAILURES_PER_CHECK) note("FAIL " + name + (detail.empty() ? "" : ": " + detail));
}

void Report::count(const std::string& name, uint64_t amount) {
    std::lock_guard<std::mutex> lock(mutex_);
    counters_[name] += amount;
}

uint64_t Report::counter(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = counters_.find(name);
    return it == counters_.end() ? 0 : it->second;
}

std::map<std::string, uint64_t> Report::counters(const std::string& prefix) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::map<std::string, uint64_t> found;
    for (const auto& [name, value] : counters_) {
        if (name.compare(0, prefix.size(), prefix) == 0) found[name.substr(prefix.size())] = value;
    }
    return found;
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
    std::printf("\n");
    for (const std::string& line : figures) std::printf("  %s\n", line.c_str());
    for (const auto& [name, times] : failures_) {
        if (times > 0) std::printf("  failed: %s (x%d)\n", name.c_str(), times);
    }
    std::printf("soak: %d passed, %d failed\n", static_cast<int>(failures_.size()) - failedChecks, failedChecks);
    std::fflush(stdout);
}

void countFault(Report& report, std::string line) {
    while (line.find_last_of(' ') != std::string::npos &&
           line.find_first_not_of("-0123456789", line.find_last_of(' ') + 1) == std::string::npos) {
        line.erase(line.find_last_of(' '));
    }
    report.count("fault: " + line);
}
