// Samples the server's resident memory (VmRSS) once a second and judges
// whether it has stopped growing.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct MemoryVerdict {
    bool enoughSamples = false;
    bool stable = false;
    uint64_t firstKb = 0;
    uint64_t lastKb = 0;
    uint64_t peakKb = 0;
    double middleMeanKb = 0;  // mean of the middle fifth of the samples
    double lastMeanKb = 0;    // mean of the last fifth
    // Baseline of a fifth: the mean of the lower half of its samples. Large
    // messages come and go in bursts (peaks); a leak lifts the baseline.
    double middleBaseKb = 0;
    double lastBaseKb = 0;
    double allowedKb = 0;  // largest growth of the baseline accepted from the middle to the last fifth
    size_t samples = 0;
};

class MemoryMonitor {
public:
    explicit MemoryMonitor(pid_t pid) : pid_(pid) {}
    ~MemoryMonitor() { stop(); }
    void start();
    void stop();
    // Compares the baseline of the last fifth of the samples with that of the
    // middle fifth: growth up to relativeTolerance of the middle baseline plus
    // absoluteToleranceKb is accepted.
    MemoryVerdict verdict(double relativeTolerance, double absoluteToleranceKb) const;
    // One line per sample: seconds since the first, kB.
    void save(const std::string& path) const;

private:
    void sample();
    pid_t pid_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<uint64_t> samplesKb_;
};

// VmRSS of a process in kB; 0 when it cannot be read.
uint64_t residentKb(pid_t pid);
