#include "model/number_format.h"

#include <charconv>

namespace {

// Room for the longest fixed form of a double with six decimals: -DBL_MAX has
// 309 digits before the point, then the point and six decimals.
constexpr size_t NUMBER_TEXT_SIZE = 320;

template <typename... Format>
void appendNumber(std::string& out, double value, Format... format) {
    char text[NUMBER_TEXT_SIZE];
    const std::to_chars_result written = std::to_chars(text, text + sizeof text, value, format...);
    out.append(text, static_cast<size_t>(written.ptr - text));
}

}  // namespace

void appendGeneralNumber(std::string& out, double value) {
    appendNumber(out, value, std::chars_format::general, 6);
}

void appendFixedNumber(std::string& out, double value) {
    appendNumber(out, value, std::chars_format::fixed, 6);
}
