// What the routes need of an HTTP request, copied out of the parser's buffer.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/number_text.h"

struct Request {
    std::string method;       // "GET", "DELETE", ...
    std::string path;         // without the query
    std::string query;        // after '?', undecoded
    std::string host;         // the Host header, or empty
    std::string origin;       // the Origin header, or empty
    std::string ifNoneMatch;  // the If-None-Match header, or empty
    bool webSocketUpgrade = false;
};

// Splits "/a/b?x=1" into path and query of request.
void splitRequestTarget(std::string_view target, Request& request);

// The value of name in a query such as "a=1&channels=4"; nullopt when absent.
std::optional<std::string> queryValue(std::string_view query, std::string_view name);
