#include "http/request.h"

void splitRequestTarget(std::string_view target, Request& request) {
    const size_t mark = target.find('?');
    request.path = std::string(target.substr(0, mark));
    request.query = mark != std::string_view::npos ? std::string(target.substr(mark + 1)) : std::string();
}

std::optional<std::string> queryValue(std::string_view query, std::string_view name) {
    while (!query.empty()) {
        const size_t end = query.find('&');
        const std::string_view pair = query.substr(0, end);
        const size_t equals = pair.find('=');
        if (pair.substr(0, equals) == name) {
            return std::string(equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1));
        }
        if (end == std::string_view::npos) break;
        query.remove_prefix(end + 1);
    }
    return std::nullopt;
}
