// The console's own files, from memory; 304 when the browser's copy is current.
#include "http/assets.h"
#include "http/http_response.h"
#include "http/routes/routes.h"

void serveAsset(uWS::HttpResponse* response, const Request& request) {
    const Asset* asset = findAsset(request.path);
    if (!asset) return sendJsonError(response, 404, "no such page or API path");
    const std::string etagHeader = std::string("ETag: ") + asset->etag + "\r\n";
    if (request.ifNoneMatch == asset->etag) return sendResponse(response, 304, asset->contentType, {}, etagHeader);
    sendResponse(response, 200, asset->contentType,
                 std::string_view(reinterpret_cast<const char*>(asset->data), asset->size), etagHeader);
}
