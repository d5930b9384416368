// Rows of the linear kernel matrix of one pair problem, computed on demand and
// kept in a cache of bounded size (least recently used rows are replaced).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Bytes of kernel rows one solver keeps at most; a whole 680 x 680 matrix fits.
constexpr size_t KERNEL_CACHE_BYTES = 2u << 20;

class KernelRows {
public:
    KernelRows(const float* data, uint32_t dim, uint32_t count, size_t budgetBytes = KERNEL_CACHE_BYTES);

    // K(s, t) for every t, each the sum of x_s[d] * x_t[d] accumulated in index
    // order from 0 (so bit for bit what a sample-by-sample loop gives). Valid
    // until the second next call.
    const float* row(uint32_t s);

    // K(s, s) for every s.
    const float* diagonal() const { return diagonal_.data(); }

private:
    void compute(uint32_t s, float* out) const;

    uint32_t dim_;
    uint32_t count_;
    std::vector<float> columns_;  // the data transposed: x_t[d] at d * count + t
    std::vector<float> diagonal_;
    std::unique_ptr<float[]> rows_;  // slots x count, left uninitialised: rows are written before use
    std::vector<int32_t> slotOf_;
    std::vector<uint32_t> ownerOf_;
    std::vector<uint64_t> lastUse_;
    uint64_t clock_ = 0;
};
