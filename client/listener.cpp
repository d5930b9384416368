#include "client/listener.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/v6_only.hpp>
#include <memory>
#include <vector>

#include "client/http_connection.h"

namespace net = boost::asio;
using net::ip::tcp;

namespace {

// Accepts for ever; the acceptor lives as long as its pending accept.
void acceptNext(const std::shared_ptr<tcp::acceptor>& acceptor) {
    acceptor->async_accept([acceptor](boost::system::error_code error, tcp::socket socket) {
        if (!error) serveConnection(std::move(socket));
        // Out of descriptors or a connection reset before it was taken: go on.
        if (error != net::error::operation_aborted) acceptNext(acceptor);
    });
}

std::vector<tcp::endpoint> endpointsOf(net::io_context& context, const std::string& host, int port) {
    std::vector<tcp::endpoint> endpoints;
    const auto portNumber = static_cast<unsigned short>(port);
    if (host.empty()) {
        endpoints.emplace_back(net::ip::address_v4::loopback(), portNumber);
        endpoints.emplace_back(net::ip::address_v6::loopback(), portNumber);
        return endpoints;
    }
    boost::system::error_code error;
    tcp::resolver resolver(context);
    for (const auto& entry : resolver.resolve(host, std::to_string(port), tcp::resolver::passive, error)) {
        endpoints.push_back(entry.endpoint());
    }
    return endpoints;
}

}  // namespace

bool isLoopbackOnly(const std::string& host) {
    if (host.empty() || host == "localhost") return true;
    boost::system::error_code error;
    const net::ip::address address = net::ip::make_address(host, error);
    return !error && address.is_loopback();
}

bool listenOn(net::io_context& context, const std::string& host, int port) {
    std::vector<std::shared_ptr<tcp::acceptor>> acceptors;
    for (const tcp::endpoint& endpoint : endpointsOf(context, host, port)) {
        auto acceptor = std::make_shared<tcp::acceptor>(context);
        boost::system::error_code error;
        acceptor->open(endpoint.protocol(), error);
        if (!error) acceptor->set_option(tcp::acceptor::reuse_address(true), error);
        // Each address on its own socket: "::" then takes IPv6 only, as on Windows.
        if (!error && endpoint.address().is_v6()) acceptor->set_option(net::ip::v6_only(true), error);
        if (!error) acceptor->bind(endpoint, error);
        if (error == net::error::address_in_use) return false;
        if (!error) acceptor->listen(net::socket_base::max_listen_connections, error);
        if (error == net::error::address_in_use) return false;
        if (!error) acceptors.push_back(acceptor);  // an address this machine lacks (no IPv6) is skipped
    }
    for (const auto& acceptor : acceptors) acceptNext(acceptor);
    return !acceptors.empty();
}
