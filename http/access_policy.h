// Who may use the endpoint. It drives a device and writes files, so a page of
// another site must not reach it through the user's browser: requests must
// name this machine in Host (no DNS rebinding), and a WebSocket upgrade that
// carries an Origin must come from the console itself or an allowed origin.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct AccessPolicy {
    std::vector<std::string> allowedHosts;    // names besides IP literals and localhost
    std::vector<std::string> allowedOrigins;  // e.g. "http://app.example:3000"
};

// True for a missing Host, an IP literal, "localhost" or an allowed name
// (any port; names compared without regard to case).
bool hostAllowed(std::string_view hostHeader, const AccessPolicy& policy);

// True for a missing Origin, the console's own origin ("http://" + Host), or
// an allowed origin.
bool originAllowed(std::string_view origin, std::string_view hostHeader, const AccessPolicy& policy);
