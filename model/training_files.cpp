// File side of training: the feature files it reads, the lines of "W&B.txt" it
// writes, and the shape readers take from "W&B.txt".
#include "model/training_files.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

FeatureMap loadFeatureFiles(int32_t gestures) {
    FeatureMap features;
    for (int32_t k = 1; k <= gestures; ++k) {
        std::vector<float>& values = features[k];
        std::ifstream in("feature" + std::to_string(k) + ".txt");
        float value = 0.0f;
        while (in >> value) values.push_back(value);
    }
    return features;
}

void writePairLine(std::ostream& out, const PairModel& model, uint32_t channels) {
    for (uint32_t c = 0; c < channels; ++c) out << model.w[c] << ' ';
    out << model.b << '\n';
}

bool readModelShape(int32_t& rows, int32_t& columns) {
    FILE* file = std::fopen(MODEL_FILE_NAME, "rb");
    if (file == nullptr) return false;
    int64_t lineFeeds = 0;
    int64_t spaces = 0;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        for (size_t k = 0; k < got; ++k) {
            if (buffer[k] == '\n')
                ++lineFeeds;
            else if (buffer[k] == ' ')
                ++spaces;
        }
    }
    std::fclose(file);
    if (lineFeeds == 0 || spaces % lineFeeds != 0 || lineFeeds > INT32_MAX || spaces / lineFeeds + 1 > INT32_MAX)
        return false;
    rows = static_cast<int32_t>(lineFeeds);
    columns = static_cast<int32_t>(spaces / lineFeeds + 1);
    return true;
}

bool modelNumbersFinite() {
    FILE* file = std::fopen(MODEL_FILE_NAME, "r");
    if (file == nullptr) return true;  // nothing to judge; the shape reader reports the missing file
    bool finite = true;
    char word[64];
    while (finite && std::fscanf(file, "%63s", word) == 1) {
        char* end = nullptr;
        const float value = std::strtof(word, &end);
        finite = end == word || std::isfinite(value);
    }
    std::fclose(file);
    return finite;
}
