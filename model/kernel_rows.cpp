#include "model/kernel_rows.h"

#include <algorithm>

KernelRows::KernelRows(const float* data, uint32_t dim, uint32_t count, size_t budgetBytes)
    : dim_(dim), count_(count), columns_(static_cast<size_t>(dim) * count), diagonal_(count, 0.0f), slotOf_(count, -1) {
    for (uint32_t t = 0; t < count; ++t)
        for (uint32_t d = 0; d < dim; ++d)
            columns_[static_cast<size_t>(d) * count + t] = data[static_cast<size_t>(t) * dim + d];
    for (uint32_t d = 0; d < dim; ++d) {
        const float* column = columns_.data() + static_cast<size_t>(d) * count;
        for (uint32_t t = 0; t < count; ++t) diagonal_[t] = diagonal_[t] + column[t] * column[t];
    }
    const size_t rowBytes = static_cast<size_t>(count) * sizeof(float);
    const size_t slots = count == 0 ? 0 : std::min<size_t>(count, std::max<size_t>(2, budgetBytes / rowBytes));
    rows_.reset(new float[slots * count]);
    ownerOf_.resize(slots);
    lastUse_.assign(slots, 0);
}

const float* KernelRows::row(uint32_t s) {
    size_t slot;
    if (slotOf_[s] >= 0) {
        slot = static_cast<size_t>(slotOf_[s]);
    } else {
        slot = static_cast<size_t>(std::min_element(lastUse_.begin(), lastUse_.end()) - lastUse_.begin());
        if (lastUse_[slot] != 0) slotOf_[ownerOf_[slot]] = -1;
        ownerOf_[slot] = s;
        slotOf_[s] = static_cast<int32_t>(slot);
        compute(s, &rows_[slot * count_]);
    }
    lastUse_[slot] = ++clock_;
    return &rows_[slot * count_];
}

void KernelRows::compute(uint32_t s, float* out) const {
    std::fill(out, out + count_, 0.0f);
    for (uint32_t d = 0; d < dim_; ++d) {
        const float* column = &columns_[static_cast<size_t>(d) * count_];
        const float xs = column[s];
        for (uint32_t t = 0; t < count_; ++t) out[t] = out[t] + xs * column[t];
    }
}
