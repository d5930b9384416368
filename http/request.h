// What the routes need of an HTTP request, copied out of the parser's buffer.
#pragma once

#include <optional>
#include <string>
#include <string_view>

struct Request {
    std::string path;         // without the query
    std::string query;        // after '?', undecoded
    std::string ifNoneMatch;  // the If-None-Match header, or empty
};

// Splits "/a/b?x=1" into path and query.
Request parseRequestTarget(std::string_view target);

// The value of name in a query such as "a=1&channels=4"; nullopt when absent.
std::optional<std::string> queryValue(std::string_view query, std::string_view name);

// A whole number from min to max written in plain decimal digits, or nullopt.
std::optional<int> parseBoundedInt(std::string_view text, int min, int max);
