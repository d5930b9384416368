#include "http/http_reply.h"

#include <cstdio>
#include <ctime>

#include "platform/local_time.h"

const char* statusText(int status) {
    switch (status) {
        case 200: return "OK";
        case 204: return "No Content";
        case 304: return "Not Modified";
        case 400: return "Bad Request";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 409: return "Conflict";
        case 413: return "Payload Too Large";
        case 431: return "Request Header Fields Too Large";
        case 503: return "Service Unavailable";
        default: return "Internal Server Error";
    }
}

HttpReply textReply(int status, std::string_view contentType, std::string body, std::string extraHeaders) {
    HttpReply reply;
    reply.status = status;
    reply.contentType = contentType;
    reply.body = std::move(body);
    reply.extraHeaders = std::move(extraHeaders);
    return reply;
}

HttpReply jsonReply(int status, std::string json) {
    return textReply(status, "application/json", std::move(json));
}

HttpReply jsonError(int status, std::string_view message) {
    return jsonReply(status, "{\"error\":" + jsonString(message) + "}");
}

HttpReply closingError(int status, std::string_view message) {
    HttpReply reply = jsonError(status, message);
    reply.closeAfter = true;
    return reply;
}

std::string replyHead(const HttpReply& reply) {
    std::string text = "HTTP/1.1 " + std::to_string(reply.status) + " " + statusText(reply.status) + "\r\n";
    if (!reply.contentType.empty()) text += "Content-Type: " + reply.contentType + "\r\n";
    text += "Cache-Control: no-cache\r\nX-Content-Type-Options: nosniff\r\n";
    text += reply.extraHeaders;
    if (reply.closeAfter) text += "Connection: close\r\n";
    if (reply.chunks) {
        text += "Transfer-Encoding: chunked\r\n\r\n";
    } else if (reply.status != 204) {  // 204 has no body and no length
        text += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n\r\n";
    } else {
        text += "\r\n";
    }
    return text;
}

std::string chunkFrame(std::string_view piece) {
    char size[24];
    std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
    std::string frame = size;
    frame += piece;
    frame += "\r\n";
    return frame;
}

std::string isoTime(long long epochSeconds) {
    const std::time_t time = static_cast<std::time_t>(epochSeconds);
    std::tm utc{};
    platform::toUtcTime(time, utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}
