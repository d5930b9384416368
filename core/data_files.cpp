#include "core/data_files.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/number_text.h"

namespace {

constexpr std::string_view RAW_PREFIX = "raw";
constexpr std::string_view RAW_SUFFIX = ".bin";

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

template <typename Bytes>
ReadResult readInto(const std::string& path, Bytes& contents) {
    contents.clear();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return READ_OPEN_FAILED;
    char block[65536];
    size_t count;
    while ((count = std::fread(block, 1, sizeof block, file)) > 0)
        contents.insert(contents.end(), block, block + count);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return failed ? READ_FAILED : READ_OK;
}

}  // namespace

std::string rawFileName(unsigned gesture) {
    return std::string(RAW_PREFIX) + std::to_string(gesture) + std::string(RAW_SUFFIX);
}

std::optional<unsigned> gestureOfRawFileName(std::string_view name) {
    if (name.size() <= RAW_PREFIX.size() + RAW_SUFFIX.size() || name.substr(0, RAW_PREFIX.size()) != RAW_PREFIX ||
        name.substr(name.size() - RAW_SUFFIX.size()) != RAW_SUFFIX)
        return std::nullopt;
    const std::string_view digits = name.substr(RAW_PREFIX.size(), name.size() - RAW_PREFIX.size() - RAW_SUFFIX.size());
    const std::optional<int> gesture = parseBoundedInt(digits, 0, 255);
    if (!gesture || (digits.size() > 1 && digits[0] == '0')) return std::nullopt;
    return static_cast<unsigned>(*gesture);
}

std::string rawCsvFileName(unsigned gesture) {
    return std::string(RAW_PREFIX) + std::to_string(gesture) + ".csv";
}

std::string featureFileName(const std::string& key) {
    return "feature" + key + ".txt";
}

ReadResult readWholeFile(const std::string& path, std::string& contents) {
    return readInto(path, contents);
}

ReadResult readWholeFile(const std::string& path, std::vector<uint8_t>& contents) {
    return readInto(path, contents);
}

std::optional<float> parseTextNumber(std::string_view word) {
    // from_chars takes no plus sign, which a stream, scanf and strtof all take.
    if (!word.empty() && word[0] == '+') {
        word.remove_prefix(1);
        if (!word.empty() && word[0] == '-') return std::nullopt;
    }
    const char* const end = word.data() + word.size();
    float value = 0.0f;
    const std::from_chars_result read = std::from_chars(word.data(), end, value);
    if (read.ptr != end || word.empty()) return std::nullopt;
    if (read.ec == std::errc()) return std::isfinite(value) ? std::optional<float>(value) : std::nullopt;
    if (read.ec != std::errc::result_out_of_range) return std::nullopt;
    // Out of range: too large (refused) or too small (zero, or the nearest subnormal).
    const float tiny = std::strtof(std::string(word).c_str(), nullptr);
    return std::isfinite(tiny) ? std::optional<float>(tiny) : std::nullopt;
}

TextNumbers parseTextNumbers(std::string_view text) {
    TextNumbers numbers;
    size_t at = 0;
    for (;;) {
        while (at < text.size() && isSpace(text[at])) ++at;
        if (at == text.size()) return numbers;
        const size_t start = at;
        while (at < text.size() && !isSpace(text[at])) ++at;
        const std::optional<float> value = parseTextNumber(text.substr(start, at - start));
        if (!value) {
            numbers.complete = false;
            return numbers;
        }
        numbers.values.push_back(*value);
    }
}
