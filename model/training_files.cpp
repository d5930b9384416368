// File side of training: the feature files it reads, the lines of "W&B.txt" it
// writes, and the shape readers take from "W&B.txt".
#include "model/training_files.h"

#include <algorithm>
#include <string>

#include "model/number_format.h"
#include "platform/files.h"

namespace {

// Every number of a feature file up to the first word that is not one; a file
// that cannot be read whole has none.
std::vector<float> readFeatureFile(const std::string& name) {
    std::string text;
    if (readWholeFile(name, text) != READ_OK) return {};
    return parseTextNumbers(text).values;
}

}  // namespace

FeatureMap loadFeatureFiles(int32_t gestures) {
    FeatureMap features;
    for (int32_t k = 1; k <= gestures; ++k) features[k] = readFeatureFile(featureFileName(k));
    return features;
}

void appendPairLine(std::string& out, const PairModel& model, uint32_t channels) {
    for (uint32_t c = 0; c < channels; ++c) {
        appendGeneralNumber(out, static_cast<double>(model.w[c]));
        out.push_back(' ');
    }
    appendGeneralNumber(out, static_cast<double>(model.b));
    out += platform::TEXT_LINE_END;
}

bool readModelShape(int32_t& rows, int32_t& columns) {
    std::string text;
    if (readWholeFile(MODEL_FILE_NAME, text) != READ_OK) return false;
    const int64_t lineFeeds = std::count(text.begin(), text.end(), '\n');
    const int64_t spaces = std::count(text.begin(), text.end(), ' ');
    if (lineFeeds == 0 || spaces % lineFeeds != 0 || lineFeeds > INT32_MAX || spaces / lineFeeds + 1 > INT32_MAX)
        return false;
    rows = static_cast<int32_t>(lineFeeds);
    columns = static_cast<int32_t>(spaces / lineFeeds + 1);
    return true;
}

bool modelNumbersFinite() {
    std::string text;
    const ReadResult read = readWholeFile(MODEL_FILE_NAME, text);
    if (read == READ_OPEN_FAILED) return true;  // nothing to judge; the shape reader reports the missing file
    return read == READ_OK && parseTextNumbers(text).complete;
}
