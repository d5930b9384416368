#include "client/websocket_client.h"

#include <boost/beast/core/bind_handler.hpp>
#include <boost/beast/websocket.hpp>

#include "client/client_list.h"
#include "client/connection_limits.h"
#include "core/event_queue.h"
#include "core/logger.h"

namespace beast = boost::beast;
namespace websocket = beast::websocket;

namespace {

int aliveClients = 0;  // server thread only

}  // namespace

WebSocketClient::WebSocketClient(boost::asio::ip::tcp::socket&& socket) : socket_(std::move(socket)) {
    ++aliveClients;
}

WebSocketClient::~WebSocketClient() {
    --aliveClients;
}

int WebSocketClient::alive() {
    return aliveClients;
}

void WebSocketClient::start(beast::http::request<beast::http::empty_body> request) {
    // The handshake is bounded; an idle client is not (it may wait for
    // notifications for hours).
    websocket::stream_base::timeout timeouts{};
    timeouts.handshake_timeout = WEBSOCKET_HANDSHAKE_TIMEOUT;
    timeouts.idle_timeout = websocket::stream_base::none();
    timeouts.keep_alive_pings = false;
    socket_.set_option(timeouts);
    socket_.read_message_max(MAX_WEBSOCKET_MESSAGE_BYTES);
    socket_.auto_fragment(false);
    socket_.binary(true);
    // Echo the first subprotocol a client offers, as the server always has.
    const std::string offered(request[beast::http::field::sec_websocket_protocol]);
    socket_.set_option(websocket::stream_base::decorator([offered](websocket::response_type& response) {
        response.set(beast::http::field::server, "emgbridge");
        if (!offered.empty()) {
            response.set(beast::http::field::sec_websocket_protocol, offered.substr(0, offered.find(',')));
        }
    }));
    const std::string_view target(request.target().data(), request.target().size());
    watcher_ = target.substr(0, target.find('?')) == WATCH_PATH;
    // Counted as connected before the handshake's answer goes out, so that a
    // client that has its 101 is always in the list; broadcasts queue meanwhile.
    registered_ = true;
    addClient(shared_from_this());
    socket_.async_accept(request, beast::bind_front_handler(&WebSocketClient::onAccepted, shared_from_this()));
}

void WebSocketClient::onAccepted(beast::error_code error) {
    if (error) return finish();
    open_ = true;
    if (!queue_.empty()) writeNext();
    readNext();
}

void WebSocketClient::readNext() {
    socket_.async_read(input_, beast::bind_front_handler(&WebSocketClient::onRead, shared_from_this()));
}

void WebSocketClient::onRead(beast::error_code error, std::size_t length) {
    if (error) return finish();
    logPrint(LOG_DEBUG, LOG_TAG, "uWS received msg, length(%d) opCode(%d)", static_cast<int>(length),
             socket_.got_text() ? 1 : 2);
    const auto* bytes = static_cast<const uint8_t*>(input_.cdata().data());
    const bool queued = eventQueue.pushWithin(makeRecord(APP_CLIENT_EVT, bytes, length), MAX_QUEUED_CLIENT_EVENT_BYTES);
    input_.consume(input_.size());
    if (!queued) {
        drop("sends commands faster than they are handled");
        return finish();
    }
    readNext();
}

void WebSocketClient::deliver(const Message& message) {
    if (!registered_) return;
    const std::size_t cost = message->size() + QUEUED_MESSAGE_OVERHEAD_BYTES;
    if (queuedBytes_ + cost > MAX_CLIENT_QUEUE_BYTES) return drop("does not read its messages");
    queue_.push_back(message);
    queuedBytes_ += cost;
    if (open_ && !writing_) writeNext();
}

void WebSocketClient::writeNext() {
    writing_ = true;
    const Message& message = queue_.front();
    socket_.async_write(boost::asio::buffer(message->data(), message->size()),
                        [self = shared_from_this()](beast::error_code error, std::size_t) { self->onWritten(error); });
}

void WebSocketClient::onWritten(beast::error_code error) {
    writing_ = false;
    if (error || !registered_) return;  // the pending read ends too, and finishes the client
    queuedBytes_ -= queue_.front()->size() + QUEUED_MESSAGE_OVERHEAD_BYTES;
    queue_.pop_front();
    if (!queue_.empty()) writeNext();
}

void WebSocketClient::drop(const char* reason) {
    if (!registered_) return;
    logPrint(LOG_DEBUG, LOG_TAG, "uWS drop client: it %s (%zu bytes queued)", reason, queuedBytes_);
    beast::error_code ignored;
    socket_.next_layer().close(ignored);
    // A write in flight still reads the message at the front until it ends.
    queue_.erase(queue_.begin() + (writing_ ? 1 : 0), queue_.end());
    queuedBytes_ = 0;
    registered_ = false;  // delivers nothing more; finish() still removes it from the list
    dropped_ = true;
}

void WebSocketClient::finish() {
    if (finished_) return;
    finished_ = true;
    if (registered_ || dropped_) removeClient(this);
    registered_ = false;
    beast::error_code ignored;
    socket_.next_layer().close(ignored);
}
