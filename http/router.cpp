#include "http/router.h"

#include "http/routes/routes.h"

namespace {

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

}  // namespace

// Changes come without a body: what they change is in the path.
HttpReply routeRequest(const Request& request) {
    const std::string& path = request.path;
    if (request.method == "DELETE" && startsWith(path, "/api/recordings/")) return serveRecordingDelete(request);
#ifdef EMG_VIRTUAL_ARMBAND
    if (request.method == "POST" && startsWith(path, "/api/virtual/gesture/")) return servePadHold(request);
#endif
    if (request.method != "GET") return jsonError(405, "only GET is served");
    if (path == "/api/status") return serveStatus(request);
    if (path == "/api/recordings") return serveRecordings(request);
    if (path.rfind("/api/recordings/", 0) == 0) return serveRecordingCsv(request);
    if (path == "/api/model") return serveModel(request);
    if (path == "/api/evaluation") return serveEvaluation(request);
    return serveAsset(request);
}
