// Arbitrary raw recordings through feature extraction and pairwise training, as MODEL_GENERATE runs them, and the
// trained "W&B.txt" back through the shape count and the identification model load.
// Input: a layout byte (channels 1 + bits 0..2, gestures 2 + (bits 3..7) mod 3), then per gesture a 16-bit
// little-endian length and that many bytes, cut to 12 windows and 8 KiB so that one input trains in under a second.
#include <algorithm>
#include <string>

#include "fuzz/fuzz_support.h"
#include "model/features.h"
#include "model/identify.h"
#include "model/training.h"

namespace {

constexpr size_t MAX_RECORDING_BYTES = 8192;
constexpr size_t MAX_RECORDING_WINDOWS = 12;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietLog();
    fuzz::enterScratchDir("emgbridge-fuzz-recordings");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    fuzz::clearScratchDir();
    fuzz::Reader in(data, size);
    const uint8_t layout = in.byte();
    const uint32_t channels = 1u + (layout & 7u);
    const int32_t gestures = 2 + (layout >> 3) % 3;
    const size_t limit = std::min(MAX_RECORDING_BYTES, channels * WINDOW_FRAMES * MAX_RECORDING_WINDOWS);

    for (int32_t g = 1; g <= gestures; ++g) {
        size_t length = in.byte();
        length |= static_cast<size_t>(in.byte()) << 8;
        size_t got = 0;
        const uint8_t* recording = in.bytes(std::min(length, limit), got);
        fuzz::check(extractFeatures(std::to_string(g), recording, got, channels) == 0, "extractFeatures failed");
    }
    fuzz::check(trainModel(gestures, channels) == 0, "trainModel failed");

    // What training writes is a model the readers take.
    int32_t rows = 0;
    int32_t columns = 0;
    fuzz::check(readModelShape(rows, columns), "the trained W&B.txt has no shape");
    fuzz::check(rows == modelRowsForGestures(gestures) && columns == static_cast<int32_t>(channels) + 1,
                "the trained W&B.txt has the wrong shape");
    IdentifyModel model;
    IdentifyState state;
    fuzz::check(loadIdentifyModel(rows, columns, model, state) == 0, "the trained W&B.txt does not load");
    return 0;
}
