// Text for the JSON answers of the HTTP API and `emgbridge evaluate --json`.
#pragma once

#include <string>
#include <string_view>

// A JSON string literal with quotes, escaping what JSON requires.
std::string jsonString(std::string_view text);
