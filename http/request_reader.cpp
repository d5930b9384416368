#include "http/request_reader.h"

#include <boost/asio/error.hpp>
#include <boost/beast/core/error.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/websocket/rfc6455.hpp>

namespace http = boost::beast::http;

void limitRequestParser(RequestParser& parser) {
    parser.header_limit(static_cast<std::uint32_t>(MAX_REQUEST_HEAD_BYTES));
    parser.body_limit(0);
}

namespace {

std::string field(const RequestParser::value_type& head, http::field name) {
    const auto found = head.find(name);
    return found == head.end() ? std::string() : std::string(found->value());
}

}  // namespace

Request requestOf(const RequestParser& parser) {
    const RequestParser::value_type& head = parser.get();
    Request request;
    request.method = std::string(head.method_string());
    splitRequestTarget(head.target(), request);
    request.host = field(head, http::field::host);
    request.origin = field(head, http::field::origin);
    request.ifNoneMatch = field(head, http::field::if_none_match);
    request.webSocketUpgrade = boost::beast::websocket::is_upgrade(head);
    return request;
}

std::optional<HttpReply> refusalOfUnreadableRequest(const boost::system::error_code& error) {
    if (error == http::error::end_of_stream || error == boost::beast::error::timeout ||
        error == boost::asio::error::eof || error == boost::asio::error::operation_aborted ||
        error == boost::asio::error::connection_reset || error == http::error::partial_message) {
        return std::nullopt;
    }
    if (error == http::error::body_limit || error == http::error::unexpected_body) return refusalOfRequestBody();
    if (error == http::error::header_limit || error == http::error::buffer_overflow) {
        return closingError(431, "the request line and headers exceed 8 KiB");
    }
    return closingError(400, "malformed HTTP request");
}

HttpReply refusalOfRequestBody() {
    return closingError(413, "requests carry no body here");
}
