// What a route answers, and the exact bytes the server writes for it. Every
// error carries a short JSON body {"error": "..."}.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "core/json_text.h"

// A body handed out piece by piece (a recording as CSV): the server asks for
// the next piece only once the client has taken the last one, so neither the
// file nor its text is ever held whole.
class ChunkSource {
public:
    virtual ~ChunkSource() = default;
    // The next piece of the body; empty at the end.
    virtual std::string next() = 0;
};

struct HttpReply {
    int status = 200;
    std::string contentType;
    std::string body;
    std::string extraHeaders;             // each "Name: value\r\n"
    std::unique_ptr<ChunkSource> chunks;  // when set: the body, sent with chunked encoding
    bool closeAfter = false;              // "Connection: close", and the connection ends after it
};

HttpReply textReply(int status, std::string_view contentType, std::string body, std::string extraHeaders = {});
HttpReply jsonReply(int status, std::string json);
HttpReply jsonError(int status, std::string_view message);
// A refusal after which the connection ends (bad or oversized requests, limits).
HttpReply closingError(int status, std::string_view message);

// The head of the reply: status line and headers, ending with the blank line.
// Content-Length for a whole body, Transfer-Encoding: chunked for chunks.
std::string replyHead(const HttpReply& reply);
// One piece of a chunked body as it goes on the wire; an empty piece is the last chunk.
std::string chunkFrame(std::string_view piece);

const char* statusText(int status);

// Seconds since the epoch as "2026-12-07T05:10:00Z".
std::string isoTime(long long epochSeconds);
