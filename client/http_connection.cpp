#include "client/http_connection.h"

#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http/read.hpp>
#include <memory>
#include <optional>

#include "client/client_list.h"
#include "client/connection_limits.h"
#include "client/websocket_client.h"
#include "core/logger.h"
#include "http/request_handler.h"
#include "http/request_reader.h"

namespace beast = boost::beast;
namespace net = boost::asio;

namespace {

int openConnections = 0;  // server thread only

class HttpConnection : public std::enable_shared_from_this<HttpConnection> {
public:
    explicit HttpConnection(net::ip::tcp::socket socket) : stream_(std::move(socket)) { ++openConnections; }
    ~HttpConnection() { --openConnections; }

    void readRequest() {
        parser_.emplace();
        limitRequestParser(*parser_);
        stream_.expires_after(HTTP_IDLE_TIMEOUT);
        beast::http::async_read_header(stream_, input_, *parser_,
                                       [self = shared_from_this()](beast::error_code error, std::size_t) {
                                           self->onRequestHead(error);
                                       });
    }

    // Answers with the reply and closes at once, without lingering: for
    // connections refused at the limit before any request is read.
    void refuse(HttpReply reply) {
        lingers_ = false;
        send(std::move(reply));
    }

private:
    void onRequestHead(beast::error_code error) {
        if (error) {
            std::optional<HttpReply> refusal = refusalOfUnreadableRequest(error);
            if (refusal) return send(std::move(*refusal));
            return close();
        }
        if (!parser_->is_done()) return send(refusalOfRequestBody());
        const Request request = requestOf(*parser_);
        if (!request.webSocketUpgrade) {
            HttpReply reply = answerHttpRequest(request);
            reply.closeAfter = reply.closeAfter || !parser_->keep_alive();
            return send(std::move(reply));
        }
        if (std::optional<HttpReply> refusal = refusalOfWebSocket(request)) return send(std::move(*refusal));
        if (WebSocketClient::alive() >= MAX_WEBSOCKET_CLIENTS) {
            logPrint(LOG_DEBUG, LOG_TAG, "uWS refused a client: %d clients are connected", MAX_WEBSOCKET_CLIENTS);
            return send(closingError(503, "too many WebSocket clients"));
        }
        std::make_shared<WebSocketClient>(stream_.release_socket())->start(parser_->release());
    }

    void send(HttpReply reply) {
        closeAfter_ = reply.closeAfter;
        output_ = replyHead(reply);
        chunks_ = std::move(reply.chunks);
        if (!chunks_) output_ += reply.body;
        write();
    }

    void write() {
        stream_.expires_after(HTTP_WRITE_TIMEOUT);
        net::async_write(stream_, net::buffer(output_),
                         [self = shared_from_this()](beast::error_code error, std::size_t) { self->onWritten(error); });
    }

    // One piece of a chunked body per write, so the thread turns to other
    // clients between pieces and a slow reader only slows itself.
    void onWritten(beast::error_code error) {
        if (error) return close();
        if (chunks_) {
            const std::string piece = chunks_->next();
            output_ = chunkFrame(piece);
            if (piece.empty()) chunks_.reset();  // the last chunk
            return write();
        }
        if (closeAfter_) return lingers_ ? closeAfterReply() : close();
        readRequest();
    }

    // Half-closes and reads until the client closes too (bounded), so that
    // the client reads the whole reply instead of a reset.
    void closeAfterReply() {
        beast::error_code ignored;
        stream_.socket().shutdown(net::ip::tcp::socket::shutdown_send, ignored);
        stream_.expires_after(HTTP_IDLE_TIMEOUT);
        input_.consume(input_.size());
        drain();
    }

    void drain() {
        stream_.async_read_some(input_.prepare(1024),
                                [self = shared_from_this()](beast::error_code error, std::size_t) {
                                    if (error) return self->close();
                                    self->drain();
                                });
    }

    void close() {
        beast::error_code ignored;
        stream_.socket().close(ignored);
    }

    beast::tcp_stream stream_;
    // Holds at most one request head and what was pipelined behind it.
    beast::flat_buffer input_{2 * MAX_REQUEST_HEAD_BYTES};
    std::optional<RequestParser> parser_;
    std::unique_ptr<ChunkSource> chunks_;
    std::string output_;
    bool closeAfter_ = false;
    bool lingers_ = true;
};

}  // namespace

void serveConnection(net::ip::tcp::socket socket) {
    beast::error_code ignored;
    socket.set_option(net::ip::tcp::no_delay(true), ignored);
    auto connection = std::make_shared<HttpConnection>(std::move(socket));
    if (openConnections > MAX_HTTP_CONNECTIONS) {
        logPrint(LOG_DEBUG, LOG_TAG, "uWS refused a connection: %d HTTP connections are open", MAX_HTTP_CONNECTIONS);
        return connection->refuse(closingError(503, "too many connections"));
    }
    connection->readRequest();
}

int openHttpConnections() {
    return openConnections;
}
