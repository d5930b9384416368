#include "http/http_server.h"

#include <sys/socket.h>
#include <unistd.h>
#include <uWS.h>

#include <string>

#include "core/logger.h"
#include "http/http_response.h"
#include "http/routes/routes.h"

namespace {

AccessPolicy accessPolicy;  // written once before listen, read on the server thread only
bool consoleServed = true;

std::string headerValue(uWS::HttpRequest& request, const char* name) {
    uWS::Header header = request.getHeader(name);
    return header ? header.toString() : std::string();
}

void route(uWS::HttpResponse* response, uWS::HttpRequest& httpRequest) {
    uWS::Header url = httpRequest.getUrl();
    Request request = parseRequestTarget(url ? std::string_view(url.value, url.valueLength) : "/");
    request.ifNoneMatch = headerValue(httpRequest, "if-none-match");
    const std::string& path = request.path;

    if (!consoleServed) return sendJsonError(response, 404, "the console is turned off (--no-console)");
    if (httpRequest.getMethod() != uWS::METHOD_GET) return sendJsonError(response, 405, "only GET is served");
    if (path == "/api/status") return serveStatus(response, request);
    if (path == "/api/recordings") return serveRecordings(response, request);
    if (path.rfind("/api/recordings/", 0) == 0) return serveRecordingCsv(response, request);
    if (path == "/api/model") return serveModel(response, request);
    if (path == "/api/evaluation") return serveEvaluation(response, request);
    serveAsset(response, request);
}

void onHttpRequest(uWS::HttpResponse* response, uWS::HttpRequest request, char*, size_t, size_t) {
    const std::string host = headerValue(request, "host");
    if (!hostAllowed(host, accessPolicy)) {
        logPrint(LOG_DEBUG, LOG_TAG, "%s, refused request for host '%s'", "onHttpRequest", host.c_str());
        return sendJsonError(response, 403, "unknown host name; start emgbridge with --allow-host NAME to allow it");
    }
    route(response, request);
}

// Refused upgrades get a 403 written straight to the socket, which is then
// half-closed so that the client reads the answer before the connection ends.
void refuseUpgrade(uWS::HttpSocket<uWS::SERVER>* socket, const char* reason) {
    const std::string answer = forbiddenResponse(reason);
    if (::send(socket->getFd(), answer.data(), answer.size(), MSG_NOSIGNAL) < 0) {
        socket->terminate();
        return;
    }
    socket->shutdown();
}

// With an upgrade handler registered the library leaves the upgrade to us: an
// accepted socket is handed over as a new descriptor to Hub::upgrade (which
// answers 101 and calls onConnection), and the HTTP socket is closed.
void onHttpUpgrade(uWS::Hub& hub, uWS::HttpSocket<uWS::SERVER>* socket, uWS::HttpRequest request) {
    const std::string host = headerValue(request, "host");
    const std::string origin = headerValue(request, "origin");
    if (!hostAllowed(host, accessPolicy)) {
        logPrint(LOG_DEBUG, LOG_TAG, "%s, refused WebSocket for host '%s'", "onHttpUpgrade", host.c_str());
        return refuseUpgrade(socket, "unknown host name; start emgbridge with --allow-host NAME to allow it");
    }
    if (!originAllowed(origin, host, accessPolicy)) {
        logPrint(LOG_DEBUG, LOG_TAG, "%s, refused WebSocket from origin '%s'", "onHttpUpgrade", origin.c_str());
        return refuseUpgrade(socket,
                             "cross-site WebSocket refused; start emgbridge with --allow-origin ORIGIN to allow it");
    }
    uWS::Header key = request.getHeader("sec-websocket-key");
    uWS::Header protocol = request.getHeader("sec-websocket-protocol");
    const int fd = key.valueLength == 24 ? ::dup(socket->getFd()) : -1;
    if (fd < 0) {
        socket->terminate();
        return;
    }
    hub.upgrade(fd, key.value, nullptr, nullptr, 0, protocol.value, protocol.valueLength,
                &hub.getDefaultGroup<uWS::SERVER>());
    socket->terminate();
}

}  // namespace

void attachHttpSide(uWS::Hub& hub, const AccessPolicy& policy, bool serveConsole) {
    accessPolicy = policy;
    consoleServed = serveConsole;
    hub.onHttpRequest(onHttpRequest);
    hub.onHttpUpgrade([&hub](uWS::HttpSocket<uWS::SERVER>* socket, uWS::HttpRequest request) {
        onHttpUpgrade(hub, socket, request);
    });
    hub.onCancelledHttpRequest([](uWS::HttpResponse* response) { cancelRecordingCsv(response); });
}
