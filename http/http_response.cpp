#include "http/http_response.h"

#include <uWS.h>

#include <cstdio>
#include <ctime>

namespace {

std::string head(int status, std::string_view contentType, std::string_view extraHeaders) {
    std::string text = "HTTP/1.1 " + std::to_string(status) + " " + statusText(status) + "\r\n";
    text += "Content-Type: ";
    text += contentType;
    text += "\r\nCache-Control: no-cache\r\nX-Content-Type-Options: nosniff\r\n";
    text += extraHeaders;
    return text;
}

}  // namespace

const char* statusText(int status) {
    switch (status) {
        case 200: return "OK";
        case 304: return "Not Modified";
        case 400: return "Bad Request";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 409: return "Conflict";
        default: return "Internal Server Error";
    }
}

void sendResponse(uWS::HttpResponse* response, int status, std::string_view contentType, std::string_view body,
                  std::string_view extraHeaders) {
    std::string text = head(status, contentType, extraHeaders);
    text += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    text += body;
    response->hasHead = true;  // the text above is the whole response, head included
    response->end(text.data(), text.size());
}

void sendJson(uWS::HttpResponse* response, int status, std::string_view json) {
    sendResponse(response, status, "application/json", json);
}

void sendJsonError(uWS::HttpResponse* response, int status, std::string_view message) {
    sendJson(response, status, "{\"error\":" + jsonString(message) + "}");
}

std::string chunkedResponseHead(int status, std::string_view contentType, std::string_view extraHeaders) {
    return head(status, contentType, extraHeaders) + "Transfer-Encoding: chunked\r\n\r\n";
}

std::string forbiddenResponse(std::string_view message) {
    const std::string body = "{\"error\":" + jsonString(message) + "}";
    return head(403, "application/json", "Connection: close\r\n") + "Content-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
}

std::string isoTime(long long epochSeconds) {
    const std::time_t time = static_cast<std::time_t>(epochSeconds);
    std::tm utc{};
    gmtime_r(&time, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}
