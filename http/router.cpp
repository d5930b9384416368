#include "http/router.h"

#include "http/routes/routes.h"

HttpReply routeRequest(const Request& request) {
    if (request.method != "GET") return jsonError(405, "only GET is served");
    const std::string& path = request.path;
    if (path == "/api/status") return serveStatus(request);
    if (path == "/api/recordings") return serveRecordings(request);
    if (path.rfind("/api/recordings/", 0) == 0) return serveRecordingCsv(request);
    if (path == "/api/model") return serveModel(request);
    if (path == "/api/evaluation") return serveEvaluation(request);
    return serveAsset(request);
}
