// Loading the identification model from "W&B.txt" into fixed storage.
#include "model/identify.h"

#include <cmath>
#include <fstream>

#include "core/logger.h"
#include "model/training.h"

namespace {

constexpr int32_t MAX_NUMBERS = MAX_GESTURE_PAIRS * (MAX_CHANNELS + 1);

int32_t gestureCountForRows(int32_t rows) {
    return static_cast<int32_t>(std::floor(std::sqrt(2.0 * rows + 0.5) + 0.5));
}

}  // namespace

bool modelShapeUsable(int32_t rows, int32_t columns) {
    if (columns < 2 || columns > static_cast<int32_t>(MAX_CHANNELS) + 1) return false;
    for (int32_t g = 2; g <= static_cast<int32_t>(MAX_GESTURES); ++g)
        if (rows == g * (g - 1) / 2) return true;
    return false;
}

LoadResult loadIdentifyModel(int32_t rows, int32_t columns, IdentifyModel& model, IdentifyState& state) {
    logPrint(LOG_DEBUG, LOG_TAG, "Identify init, detect new model");
    const int32_t gestures = rows >= 0 ? gestureCountForRows(rows) : 0;
    logPrint(LOG_DEBUG, LOG_TAG, "identify gesture number:%d", gestures);
    logPrint(LOG_DEBUG, LOG_TAG, "identify channel number:%d", columns - 1);

    if (!modelShapeUsable(rows, columns)) return LOAD_SHAPE_UNUSABLE;
    std::ifstream in(MODEL_FILE_NAME);
    if (!in) return LOAD_FILE_MISSING;

    // Numbers after the first failed extraction stay 0.
    float numbers[MAX_NUMBERS] = {};
    const int32_t total = rows * columns;
    for (int32_t k = 0; k < total; ++k) {
        float value = 0.0f;
        if (!(in >> value)) break;
        numbers[k] = value;
    }

    const int32_t channels = columns - 1;
    model = IdentifyModel{};
    model.gestures = static_cast<uint8_t>(gestures);
    model.channels = static_cast<uint8_t>(channels);
    for (int32_t p = 0; p < rows; ++p) {
        for (int32_t c = 0; c < channels; ++c) model.pairs[p].w[c] = numbers[p * columns + c];
        model.pairs[p].bias = numbers[p * columns + channels];
    }
    resetIdentifyState(state);
    return LOAD_OK;
}
