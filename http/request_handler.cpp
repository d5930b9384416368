#include "http/request_handler.h"

#include "core/logger.h"
#include "http/router.h"

namespace {

AccessPolicy accessPolicy;  // written once before the server thread starts, read on it only
bool consoleServed = true;

constexpr const char* UNKNOWN_HOST = "unknown host name; start emgbridge with --allow-host NAME to allow it";

}  // namespace

void configureHttpSide(const AccessPolicy& policy, bool serveConsole) {
    accessPolicy = policy;
    consoleServed = serveConsole;
}

HttpReply answerHttpRequest(const Request& request) {
    if (!hostAllowed(request.host, accessPolicy)) {
        logPrint(LOG_DEBUG, LOG_TAG, "%s, refused request for host '%s'", "onHttpRequest", request.host.c_str());
        return jsonError(403, UNKNOWN_HOST);
    }
    if (!consoleServed) return jsonError(404, "the console is turned off (--no-console)");
    // A request that changes something (DELETE, POST) from another site's page is refused,
    // as a cross-site WebSocket is; the page's own requests carry its own origin.
    if (request.method != "GET" && !originAllowed(request.origin, request.host, accessPolicy)) {
        logPrint(LOG_DEBUG, LOG_TAG, "%s, refused %s from origin '%s'", "onHttpRequest", request.method.c_str(),
                 request.origin.c_str());
        return jsonError(403, "cross-site request refused");
    }
    return routeRequest(request);
}

std::optional<HttpReply> refusalOfWebSocket(const Request& request) {
    if (!hostAllowed(request.host, accessPolicy)) {
        logPrint(LOG_DEBUG, LOG_TAG, "%s, refused WebSocket for host '%s'", "onHttpUpgrade", request.host.c_str());
        return closingError(403, UNKNOWN_HOST);
    }
    if (!originAllowed(request.origin, request.host, accessPolicy)) {
        logPrint(LOG_DEBUG, LOG_TAG, "%s, refused WebSocket from origin '%s'", "onHttpUpgrade",
                 request.origin.c_str());
        return closingError(403,
                            "cross-site WebSocket refused; start emgbridge with --allow-origin ORIGIN to allow it");
    }
    return std::nullopt;
}
