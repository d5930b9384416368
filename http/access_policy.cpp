#include "http/access_policy.h"

#include <boost/asio/ip/address_v4.hpp>
#include <boost/asio/ip/address_v6.hpp>

#include <algorithm>
#include <cctype>

namespace {

std::string lowercase(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

// The host part of "name:port", "1.2.3.4:port" or "[::1]:port"; empty when malformed.
std::string hostName(std::string_view host, bool& bracketed) {
    bracketed = !host.empty() && host.front() == '[';
    if (bracketed) {
        const size_t close = host.find(']');
        if (close == std::string_view::npos) return {};
        const std::string_view rest = host.substr(close + 1);
        if (!rest.empty() && rest.front() != ':') return {};
        return std::string(host.substr(1, close - 1));
    }
    const size_t colon = host.rfind(':');
    return lowercase(host.substr(0, colon));
}

bool isIpLiteral(const std::string& name, bool bracketed) {
    boost::system::error_code error;
    if (bracketed) {
        boost::asio::ip::make_address_v6(name, error);
    } else {
        boost::asio::ip::make_address_v4(name, error);
    }
    return !error;
}

}  // namespace

bool hostAllowed(std::string_view hostHeader, const AccessPolicy& policy) {
    if (hostHeader.empty()) return true;
    bool bracketed = false;
    const std::string name = hostName(hostHeader, bracketed);
    if (name.empty()) return false;
    if (isIpLiteral(name, bracketed) || name == "localhost") return true;
    return std::any_of(policy.allowedHosts.begin(), policy.allowedHosts.end(),
                       [&](const std::string& allowed) { return lowercase(allowed) == name; });
}

bool originAllowed(std::string_view origin, std::string_view hostHeader, const AccessPolicy& policy) {
    if (origin.empty()) return true;
    const std::string wanted = lowercase(origin);
    if (!hostHeader.empty() && wanted == "http://" + lowercase(hostHeader)) return true;
    return std::any_of(policy.allowedOrigins.begin(), policy.allowedOrigins.end(),
                       [&](const std::string& allowed) { return lowercase(allowed) == wanted; });
}
