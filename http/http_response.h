// Whole HTTP responses written on the server thread; every error carries a
// short JSON body {"error": "..."}.
#pragma once

#include <string>
#include <string_view>

#include "core/json_text.h"

namespace uWS {
struct HttpResponse;
}

// Status line, Content-Type, Content-Length, Cache-Control: no-cache, any
// extraHeaders (each ending in "\r\n"), then the body.
void sendResponse(uWS::HttpResponse* response, int status, std::string_view contentType, std::string_view body,
                  std::string_view extraHeaders = {});

void sendJson(uWS::HttpResponse* response, int status, std::string_view json);
void sendJsonError(uWS::HttpResponse* response, int status, std::string_view message);

// The head of a response whose body follows in chunks (Transfer-Encoding: chunked).
std::string chunkedResponseHead(int status, std::string_view contentType, std::string_view extraHeaders = {});
// The whole of a 403 response with a JSON error, for raw writes before an upgrade.
std::string forbiddenResponse(std::string_view message);

const char* statusText(int status);

// Seconds since the epoch as "2026-12-07T05:10:00Z".
std::string isoTime(long long epochSeconds);
