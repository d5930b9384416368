// Loading the identification model from "W&B.txt" into fixed storage.
#include "model/identify.h"

#include <string>

#include "core/data_files.h"
#include "core/logger.h"

namespace {

constexpr int32_t MAX_NUMBERS = MAX_GESTURE_PAIRS * (MAX_CHANNELS + 1);

// The most gestures whose pairs fit in rows: the count the load logs, also for a
// shape it then refuses.
int32_t gesturesFittingRows(int32_t rows) {
    int32_t gestures = 1;
    while (modelRowsForGestures(gestures + 1) <= rows) ++gestures;
    return gestures;
}

}  // namespace

bool modelShapeUsable(int32_t rows, int32_t columns) {
    if (columns < 2 || columns > static_cast<int32_t>(MAX_CHANNELS) + 1) return false;
    return gesturesForModelRows(rows) != 0;
}

LoadResult loadIdentifyModel(int32_t rows, int32_t columns, IdentifyModel& model, IdentifyState& state) {
    logPrint(LOG_DEBUG, LOG_TAG, "Identify init, detect new model");
    const int32_t gestures = rows >= 0 ? gesturesFittingRows(rows) : 0;
    logPrint(LOG_DEBUG, LOG_TAG, "identify gesture number:%d", gestures);
    logPrint(LOG_DEBUG, LOG_TAG, "identify channel number:%d", columns - 1);

    if (!modelShapeUsable(rows, columns)) return LOAD_SHAPE_UNUSABLE;
    std::string text;
    if (readWholeFile(MODEL_FILE_NAME, text) != READ_OK) return LOAD_FILE_MISSING;

    // Numbers past the last one read (parseTextNumbers) stay 0.
    float numbers[MAX_NUMBERS] = {};
    const std::vector<float> read = parseTextNumbers(text).values;
    const size_t total = static_cast<size_t>(rows) * columns;
    for (size_t k = 0; k < total && k < read.size(); ++k) numbers[k] = read[k];

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
