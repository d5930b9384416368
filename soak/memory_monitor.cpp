#include "soak/memory_monitor.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <numeric>
#include <string>

namespace {

constexpr auto SAMPLE_PERIOD = std::chrono::seconds(1);
constexpr size_t FEWEST_SAMPLES = 10;

double mean(const std::vector<uint64_t>& values, size_t from, size_t to) {
    if (to <= from) return 0;
    return std::accumulate(values.begin() + static_cast<std::ptrdiff_t>(from),
                           values.begin() + static_cast<std::ptrdiff_t>(to), 0.0) /
           static_cast<double>(to - from);
}

// Mean of the lower half of values[from, to).
double baseline(const std::vector<uint64_t>& values, size_t from, size_t to) {
    if (to <= from) return 0;
    std::vector<uint64_t> part(values.begin() + static_cast<std::ptrdiff_t>(from),
                               values.begin() + static_cast<std::ptrdiff_t>(to));
    std::sort(part.begin(), part.end());
    return mean(part, 0, (part.size() + 1) / 2);
}

}  // namespace

uint64_t residentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "VmRSS:") == 0) return std::stoull(line.substr(6));
    }
    return 0;
}

void MemoryMonitor::start() {
    thread_ = std::thread([this] {
        auto next = std::chrono::steady_clock::now();
        while (!stopping_) {
            sample();
            next += SAMPLE_PERIOD;
            while (!stopping_ && std::chrono::steady_clock::now() < next) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
    });
}

void MemoryMonitor::stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
}

void MemoryMonitor::sample() {
    const uint64_t kb = residentKb(pid_);
    if (kb == 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    samplesKb_.push_back(kb);
}

void MemoryMonitor::save(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::ofstream out(path);
    for (size_t i = 0; i < samplesKb_.size(); ++i) out << i << ' ' << samplesKb_[i] << '\n';
}

MemoryVerdict MemoryMonitor::verdict(double relativeTolerance, double absoluteToleranceKb) const {
    std::lock_guard<std::mutex> lock(mutex_);
    MemoryVerdict v;
    const size_t n = samplesKb_.size();
    v.samples = n;
    if (n == 0) return v;
    v.firstKb = samplesKb_.front();
    v.lastKb = samplesKb_.back();
    v.peakKb = *std::max_element(samplesKb_.begin(), samplesKb_.end());
    v.enoughSamples = n >= FEWEST_SAMPLES;
    v.middleMeanKb = mean(samplesKb_, 2 * n / 5, 3 * n / 5);
    v.lastMeanKb = mean(samplesKb_, 4 * n / 5, n);
    v.middleBaseKb = baseline(samplesKb_, 2 * n / 5, 3 * n / 5);
    v.lastBaseKb = baseline(samplesKb_, 4 * n / 5, n);
    v.allowedKb = v.middleBaseKb * relativeTolerance + absoluteToleranceKb;
    v.stable = v.enoughSamples && v.lastBaseKb - v.middleBaseKb <= v.allowedKb;
    return v;
}
