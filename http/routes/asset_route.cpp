// The console's own files, from memory; 304 when the browser's copy is current.
#include "http/assets.h"
#include "http/routes/routes.h"

HttpReply serveAsset(const Request& request) {
    const Asset* asset = findAsset(request.path);
    if (!asset) return jsonError(404, "no such page or API path");
    const std::string etagHeader = std::string("ETag: ") + asset->etag + "\r\n";
    if (request.ifNoneMatch == asset->etag) return textReply(304, asset->contentType, {}, etagHeader);
    return textReply(200, asset->contentType, std::string(reinterpret_cast<const char*>(asset->data), asset->size),
                     etagHeader);
}
