// One connected WebSocket client: its messages become APP_CLIENT_EVT records,
// and the broadcasts queued for it are written one at a time. Lives on the
// server thread; owned by its own pending reads and writes.
#pragma once

#include <boost/beast/core/flat_buffer.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/websocket/stream.hpp>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

using Message = std::shared_ptr<const std::vector<uint8_t>>;

class WebSocketClient : public std::enable_shared_from_this<WebSocketClient> {
public:
    explicit WebSocketClient(boost::asio::ip::tcp::socket&& socket);
    ~WebSocketClient();
    // Clients that exist now, their handshake done or not.
    static int alive();

    // Completes the handshake for the upgrade request; the client counts as
    // connected from then on.
    void start(boost::beast::http::request<boost::beast::http::empty_body> request);
    // Queues a broadcast; a client whose queue would pass MAX_CLIENT_QUEUE_BYTES is dropped.
    void deliver(const Message& message);
    // A web console that asked for the live signal (upgrade path WATCH_PATH).
    bool watcher() const { return watcher_; }

private:
    void onAccepted(boost::beast::error_code error);
    void readNext();
    void onRead(boost::beast::error_code error, std::size_t length);
    void writeNext();
    void onWritten(boost::beast::error_code error);
    // Closes the connection at once (no close handshake) with a log line.
    void drop(const char* reason);
    void finish();

    // On the plain socket: the WebSocket layer keeps its own time-outs, and
    // every broadcast passes through no further layer.
    boost::beast::websocket::stream<boost::asio::ip::tcp::socket> socket_;
    boost::beast::flat_buffer input_;
    std::deque<Message> queue_;
    std::size_t queuedBytes_ = 0;
    bool open_ = false;  // handshake done: writes may start
    bool writing_ = false;
    bool registered_ = false;  // connected and taking broadcasts
    bool dropped_ = false;     // closed by the server, still in the list until its read ends
    bool finished_ = false;
    bool watcher_ = false;
};

// The upgrade path by which a console asks for the live signal while idle.
constexpr const char* WATCH_PATH = "/watch";
