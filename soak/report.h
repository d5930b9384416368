// The soak's outcome: named checks that pass or fail, and counters for the
// figures printed at the end. Thread-safe; shared by every part of the soak.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class Report {
public:
    // Records one check; a failure is printed at once with its detail.
    void check(bool passed, const std::string& name, const std::string& detail = "");
    void pass(const std::string& name) { check(true, name); }
    void fail(const std::string& name, const std::string& detail) { check(false, name, detail); }

    // A check made on every message or event: only its failures are recorded
    // as they happen; conclude() adds one pass for it when none failed.
    void violation(const std::string& name, const std::string& detail) { check(false, name, detail); }
    void conclude(const std::string& name);

    // Adds to a named counter (faults by kind and the like).
    void count(const std::string& name, uint64_t amount = 1);
    uint64_t counter(const std::string& name) const;
    std::map<std::string, uint64_t> countersWithPrefix(const std::string& prefix) const;

    // A line for the figures at the end, in the order given.
    void figure(const std::string& line);

    int passed() const { return passed_; }
    int failed() const { return failed_; }
    // Figures, then the failed checks grouped by name, then "soak: N passed, M failed".
    void print() const;

private:
    mutable std::mutex mutex_;
    std::atomic<int> passed_{0};
    std::atomic<int> failed_{0};
    std::map<std::string, uint64_t> counters_;
    std::map<std::string, int> failuresByName_;
    std::vector<std::string> figures_;
};

// The soak's own progress and failure lines, stamped with seconds since start.
void note(const std::string& text);
