#include "soak/report.h"

#include <chrono>
#include <cstdio>

namespace {

// Failures of one name beyond this many are counted but not printed.
constexpr int PRINTED_FAILURES_PER_NAME = 5;

const auto startTime = std::chrono::steady_clock::now();

}  // namespace

void note(const std::string& text) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - startTime).count();
    std::printf("[%7.1f s] %s\n", seconds, text.c_str());
    std::fflush(stdout);
}

void Report::check(bool passed, const std::string& name, const std::string& detail) {
    if (passed) {
        ++passed_;
        return;
    }
    ++failed_;
    int seen;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        seen = ++failuresByName_[name];
    }
    if (seen <= PRINTED_FAILURES_PER_NAME) note("FAIL " + name + (detail.empty() ? "" : ": " + detail));
}

void Report::conclude(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failuresByName_.count(name) == 0) ++passed_;
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

std::map<std::string, uint64_t> Report::countersWithPrefix(const std::string& prefix) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::map<std::string, uint64_t> found;
    for (const auto& [name, value] : counters_) {
        if (name.compare(0, prefix.size(), prefix) == 0) found[name.substr(prefix.size())] = value;
    }
    return found;
}

void Report::figure(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    figures_.push_back(line);
}

void Report::print() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::printf("\n");
    for (const std::string& line : figures_) std::printf("  %s\n", line.c_str());
    if (!failuresByName_.empty()) {
        std::printf("  failed checks:\n");
        for (const auto& [name, times] : failuresByName_) std::printf("    %s (x%d)\n", name.c_str(), times);
    }
    std::printf("soak: %d passed, %d failed\n", passed_.load(), failed_.load());
    std::fflush(stdout);
}
