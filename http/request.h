// What the routes need of an HTTP request, copied out of the parser's buffer.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/number_text.h"

struct Request {
    std::string path;         // without the query
    std::string query;        // after '?', undecoded
    std::string ifNoneMatch;  // the If-None-Match header, or empty
};

// Splits "/a/b?x=1" into path and query.
Request parseRequestTarget(std::string_view target);

// The value of name in a query such as "a=1&channels=4"; nullopt when absent.
std::optional<std::string> queryValue(std::string_view query, std::string_view name);
