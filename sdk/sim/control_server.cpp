#include "sim/control_server.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/sockets.h"

namespace kv::sim {
namespace {

// Connections the system holds for us before the serving thread accepts them.
constexpr int LISTEN_BACKLOG = 16;

void closeFd(int& fd) {
    if (fd != platform::NO_SOCKET) platform::closeSocket(fd);
    fd = platform::NO_SOCKET;
}

bool isTokenCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

bool isHttpVersion(const std::string& word) {
    return word.size() == 8 && word.compare(0, 5, "HTTP/") == 0 && std::isdigit(static_cast<unsigned char>(word[5])) &&
           word[6] == '.' && std::isdigit(static_cast<unsigned char>(word[7]));
}

// A line of an HTTP request, as a browser sends to any address a web page
// names: a request line "METHOD TARGET HTTP/d.d", or a header line, a token
// directly followed by a colon ("Host: ...", "Origin: ..."). No control
// command has a colon in its first word or HTTP/d.d as the third of three.
bool looksLikeHttp(const std::string& line) {
    const size_t colon = line.find(':');
    if (colon != std::string::npos && colon > 0 &&
        std::all_of(line.begin(), line.begin() + static_cast<long>(colon), isTokenCharacter)) {
        return true;
    }
    const size_t firstSpace = line.find(' ');
    const size_t lastSpace = line.rfind(' ');
    if (firstSpace == std::string::npos || firstSpace == 0 || lastSpace == firstSpace ||
        line.find(' ', firstSpace + 1) != lastSpace || lastSpace == firstSpace + 1) {
        return false;
    }
    return std::all_of(line.begin(), line.begin() + static_cast<long>(firstSpace), isTokenCharacter) &&
           isHttpVersion(line.substr(lastSpace + 1));
}

}  // namespace

ControlServer::ControlServer(Handler handler) : handler_(std::move(handler)) {}

ControlServer::~ControlServer() {
    stop();
}

bool ControlServer::start(uint16_t port) {
    if (thread_.joinable()) return true;
    listenFd_ = platform::listenOnLoopback(port, LISTEN_BACKLOG);
    if (listenFd_ == platform::NO_SOCKET) return false;
    if (!platform::makeWakePair(wakeRead_, wakeWrite_)) {
        closeFd(listenFd_);
        return false;
    }
    thread_ = std::thread(&ControlServer::serve, this);
    return true;
}

void ControlServer::stop() {
    if (!thread_.joinable()) return;
    const char byte = 0;
    platform::sendBytes(wakeWrite_, &byte, 1);  // an empty pair's buffer always takes one byte
    thread_.join();
    for (Connection& connection : connections_) closeFd(connection.fd);
    connections_.clear();
    closeFd(listenFd_);
    closeFd(wakeRead_);
    closeFd(wakeWrite_);
}

void ControlServer::serve() {
    std::vector<platform::PolledSocket> polled;
    for (;;) {
        polled.clear();
        polled.push_back({wakeRead_, true, false});
        polled.push_back({listenFd_, true, false});
        for (const Connection& connection : connections_) {
            polled.push_back({connection.fd, !connection.closing, !connection.output.empty()});
        }
        if (!platform::pollSockets(polled, -1)) return;
        if (polled[0].readable) return;  // asked to stop
        if (polled[1].readable) acceptConnection();

        // Connections accepted just now are not in `polled` yet; they wait for the next round.
        const size_t polledConnections = polled.size() - 2;
        std::vector<Connection> kept;
        for (size_t i = 0; i < connections_.size(); ++i) {
            Connection& connection = connections_[i];
            const bool readable = i < polledConnections && polled[i + 2].readable;
            bool alive = true;
            if (readable) alive = receive(connection);
            if (connection.dropped) alive = false;
            if (alive && !connection.output.empty()) alive = send(connection);
            if (alive && connection.closing && connection.output.empty()) alive = false;
            if (alive) {
                kept.push_back(std::move(connection));
            } else {
                closeFd(connection.fd);
            }
        }
        connections_ = std::move(kept);
    }
}

void ControlServer::acceptConnection() {
    const int fd = platform::acceptWaiting(listenFd_);
    if (fd == platform::NO_SOCKET) return;
    Connection connection;
    connection.fd = fd;
    if (connections_.size() >= MAX_CONNECTIONS) {
        connection.output = "error too many control connections\n";
        connection.closing = true;
    }
    connections_.push_back(std::move(connection));
}

bool ControlServer::receive(Connection& connection) {
    if (connection.closing) return true;
    char buffer[4096];
    const long count = platform::receiveBytes(connection.fd, buffer, sizeof buffer);
    if (count < 0) return count == platform::WOULD_BLOCK;
    connection.input.append(buffer, static_cast<size_t>(count));
    answerLines(connection, count == 0);
    return true;
}

void ControlServer::answerLines(Connection& connection, bool endOfInput) {
    size_t start = 0;
    for (;;) {
        size_t end = connection.input.find('\n', start);
        if (end == std::string::npos) {
            // At the end of input an unterminated last line still counts.
            if (!endOfInput || start == connection.input.size()) break;
            end = connection.input.size();
        }
        if (end - start > MAX_LINE) break;
        std::string line = connection.input.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (looksLikeHttp(line)) {
            drop(connection, "an HTTP request: a web page may not steer the armband");
            return;
        }
        connection.output += handler_(line);
        connection.output += '\n';
        if (connection.output.size() > MAX_PENDING_OUTPUT) {
            drop(connection, "the client does not read its answers (over 64 KiB waiting)");
            return;
        }
        start = end + 1;
        if (start > connection.input.size()) break;
    }
    connection.input.erase(0, std::min(start, connection.input.size()));
    const size_t lineEnd = connection.input.find('\n');
    const size_t pendingLine = lineEnd == std::string::npos ? connection.input.size() : lineEnd;
    if (pendingLine > MAX_LINE) {
        connection.output += "error line too long (at most 4096 bytes)\n";
        connection.input.clear();
        connection.closing = true;
    } else if (endOfInput) {
        connection.closing = true;
    }
}

bool ControlServer::send(Connection& connection) {
    const long count = platform::sendBytes(connection.fd, connection.output.data(), connection.output.size());
    if (count < 0) return count == platform::WOULD_BLOCK;
    connection.output.erase(0, static_cast<size_t>(count));
    return true;
}

void ControlServer::drop(Connection& connection, const char* why) {
    connection.dropped = true;
    connection.input.clear();
    connection.output.clear();
    // The stand-in's own diagnostics go to standard error, apart from the server's log.
    std::fprintf(stderr, "kv control endpoint: connection closed: %s\n", why);
}

}  // namespace kv::sim
