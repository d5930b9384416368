// Reading HTTP requests off a connection: the parser's limits and what the
// routes get of a parsed request head. The server and the HTTP fuzz target
// share these, so the fuzzer exercises exactly what the port accepts.
#pragma once

#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/parser.hpp>
#include <cstddef>
#include <optional>

#include "http/http_reply.h"
#include "http/request.h"

// Request line and headers together; a longer head is answered 431 and the
// connection ends.
constexpr size_t MAX_REQUEST_HEAD_BYTES = 8 * 1024;

// Requests carry no body: the parser stops after the head, and a request that
// announces a body (Content-Length above 0, chunked) is answered 413 and the
// connection ends, so body bytes are never read as a further request.
using RequestParser = boost::beast::http::request_parser<boost::beast::http::empty_body>;

// Sets the limits above on a fresh parser.
void limitRequestParser(RequestParser& parser);

// The fields the routes and access checks use, copied out of a parsed head.
Request requestOf(const RequestParser& parser);

// The answer to a head the parser refused (431 when too long, 400 otherwise),
// or nullopt when the connection merely ended or timed out before a request.
std::optional<HttpReply> refusalOfUnreadableRequest(const boost::system::error_code& error);

// The answer to a head whose request announces a body.
HttpReply refusalOfRequestBody();
