// The bytes a client sends, through the request parser with its limits, the refusals, the Host and Origin checks
// and the routes (a recording, a model and the console's files in the working folder), pipelined requests in turn.
#include <boost/asio/buffer.hpp>
#include <boost/beast/http/error.hpp>
#include <string>

#include "fuzz/fuzz_support.h"
#include "http/request_handler.h"
#include "http/request_reader.h"

namespace {

constexpr int MAX_CHUNKS = 64;  // enough for the small recording below

// A reply must be one the server can write: a known status, a head that ends once, lines ending in CR LF.
void checkReply(const HttpReply& reply) {
    const std::string head = replyHead(reply);
    fuzz::check(std::string(statusText(reply.status)) != "Internal Server Error" || reply.status == 500,
                "a reply with a status the server does not name");
    fuzz::check(head.find("\r\n\r\n") == head.size() - 4, "a reply head with a blank line inside");
    for (size_t at = head.find('\n'); at != std::string::npos; at = head.find('\n', at + 1)) {
        fuzz::check(at > 0 && head[at - 1] == '\r', "a bare line feed in a reply head");
    }
}

void drain(HttpReply& reply) {
    for (int i = 0; reply.chunks && i < MAX_CHUNKS; ++i) {
        if (reply.chunks->next().empty()) break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietLog();
    fuzz::enterScratchDir("emgbridge-fuzz-http");
    configureHttpSide(AccessPolicy{{"bench.lab"}, {"http://app.example:3000"}}, true);
    const uint8_t frames[] = {1, 2, 3, 4, 250, 251, 252, 253, 7, 8, 9, 10};
    fuzz::writeFile("raw1.bin", frames, sizeof frames, false);
    const char model[] = "0.5 -0.25 0.125\n";
    fuzz::writeFile("W&B.txt", reinterpret_cast<const uint8_t*>(model), sizeof model - 1, false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    boost::asio::const_buffer input(data, size);
    while (input.size() > 0) {
        RequestParser parser;
        limitRequestParser(parser);
        boost::system::error_code error;
        while (!error && !parser.is_header_done() && input.size() > 0) {
            input += parser.put(input, error);
        }
        if (error == boost::beast::http::error::need_more) return 0;  // waits for more bytes
        if (error) {
            std::optional<HttpReply> refusal = refusalOfUnreadableRequest(error);
            if (refusal) checkReply(*refusal);
            return 0;
        }
        if (!parser.is_header_done()) return 0;
        if (!parser.is_done()) {
            checkReply(refusalOfRequestBody());
            return 0;
        }
        const Request request = requestOf(parser);
        if (request.webSocketUpgrade) {
            std::optional<HttpReply> refusal = refusalOfWebSocket(request);
            if (refusal) checkReply(*refusal);
            return 0;  // the connection is the WebSocket's, or closed
        }
        HttpReply reply = answerHttpRequest(request);
        checkReply(reply);
        drain(reply);
        if (reply.closeAfter || !parser.keep_alive()) return 0;
    }
    return 0;
}
