// Arbitrary bytes of "W&B.txt" through its readers: the shape count, MODEL_UPDATE's image build, and the
// identification model load followed by a few windows at rest, active, then at rest.
#include <string_view>
#include <vector>

#include "commands/model_image.h"
#include "fuzz/fuzz_support.h"
#include "model/features.h"
#include "model/identify.h"
#include "model/training.h"

namespace {

// 130 frames of channels samples: near the resting level, or swinging widely.
std::vector<uint8_t> chunk(uint32_t channels, bool active, unsigned seed) {
    std::vector<uint8_t> bytes(channels * WINDOW_FRAMES);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const unsigned noise = (static_cast<unsigned>(i) * 37u + seed * 11u) % 5u;
        const unsigned swing = ((i / channels) % 2 ? 200 : 45) + noise * 3 + (i % channels) * 4;
        bytes[i] = static_cast<uint8_t>(active ? swing : 121 + noise);
    }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietLog();
    fuzz::enterScratchDir("emgbridge-fuzz-model-file");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::clearScratchDir();
    fuzz::writeFile(MODEL_FILE_NAME, data, size, false);
    int32_t rows = 0;
    int32_t columns = 0;
    if (!readModelShape(rows, columns)) return 0;
    fuzz::check(rows >= 1 && columns >= 1, "readModelShape accepted a shape below 1 x 1");

    // MODEL_UPDATE: any shape is either refused or fits the image buffer.
    const uint32_t channels = columns >= 2 && columns <= 9 ? static_cast<uint32_t>(columns - 1) : 8;
    const uint8_t mask = static_cast<uint8_t>((1u << channels) - 1u);
    std::vector<uint8_t> image(MODEL_IMAGE_BUFFER_SIZE);
    const std::string_view weights(reinterpret_cast<const char*>(data), size);
    const uint8_t gestures = static_cast<uint8_t>(gesturesForModelRows(rows));
    const size_t imageLength = buildModelImage(weights, rows, columns, mask, gestures, image.data());
    fuzz::check(imageLength == 0 || (imageLength <= MODEL_IMAGE_BUFFER_SIZE &&
                                     imageLength == MODEL_IMAGE_HEADER_SIZE + modelPayloadLength(rows, columns)),
                "the model image does not fit its buffer");

    // Identification: the model load refuses what the fixed arrays cannot hold.
    IdentifyModel model;
    IdentifyState state;
    const int loaded = loadIdentifyModel(rows, columns, model, state);
    fuzz::check(loaded == (modelShapeUsable(rows, columns) ? 0 : -2), "loadIdentifyModel answered against the shape");
    if (loaded != 0) return 0;
    fuzz::check(model.channels == columns - 1 && model.gestures == gestures, "the loaded model's shape");
    const bool pattern[] = {false, false, true, true, true, true, true, false, false, false, false};
    unsigned seed = 0;
    for (bool active : pattern) {
        const std::vector<uint8_t> window = chunk(model.channels, active, ++seed);
        const int result = identifyChunk(window.data(), state, model);
        fuzz::check(result >= 0 && result <= model.gestures, "identifyChunk answered a class outside 0..G");
    }
    return 0;
}
