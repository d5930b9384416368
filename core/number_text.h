// Whole numbers typed by people: command-line values and URL parts.
#pragma once

#include <optional>
#include <string_view>

// A whole number from min to max written in plain decimal digits, or nullopt.
std::optional<int> parseBoundedInt(std::string_view text, int min, int max);

// A TCP port, 1 to 65535.
inline std::optional<int> parsePort(std::string_view text) { return parseBoundedInt(text, 1, 65535); }
