// File side of training: the feature files it reads, the lines of "W&B.txt" it
// writes, and the shape readers take from "W&B.txt".
#include "model/training_files.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "model/number_format.h"
#include "platform/files.h"

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The numbers of a text made only of what "%f " writes for finite values: an
// optional minus, digits, a point and digits, separated by white space. False
// for anything else. from_chars and the stream's strtof both round correctly,
// so each value is the one the stream would read.
bool readFixedDecimals(const std::string& text, std::vector<float>& values) {
    const char* p = text.data();
    const char* const end = p + text.size();
    for (;;) {
        while (p < end && isSpace(*p)) ++p;
        if (p == end) return true;
        const char* const start = p;
        if (*p == '-') ++p;
        const char* const whole = p;
        while (p < end && isDigit(*p)) ++p;
        if (p == whole || p == end || *p != '.') return false;
        const char* const fraction = ++p;
        while (p < end && isDigit(*p)) ++p;
        if (p == fraction || (p < end && !isSpace(*p))) return false;
        float value;
        const std::from_chars_result read = std::from_chars(start, p, value);
        if (read.ec != std::errc() || read.ptr != p) return false;
        values.push_back(value);
    }
}

// Every number of a feature file up to the first that is not one, as a
// stream reads them; a file that cannot be opened has none.
std::vector<float> readFeatureFile(const std::string& name) {
    std::vector<float> values;
    std::ifstream in(name, std::ios::binary);
    if (!in) return values;
    std::ostringstream contents;
    contents << in.rdbuf();
    const std::string text = contents.str();
    if (readFixedDecimals(text, values)) return values;
    values.clear();  // not only our own numbers: the stream decides
    std::istringstream stream(text);
    float value = 0.0f;
    while (stream >> value) values.push_back(value);
    return values;
}

}  // namespace

FeatureMap loadFeatureFiles(int32_t gestures) {
    FeatureMap features;
    for (int32_t k = 1; k <= gestures; ++k) features[k] = readFeatureFile("feature" + std::to_string(k) + ".txt");
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
