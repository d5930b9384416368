// GET /api/evaluation: the held-out evaluation of the latest generated model,
// computed on the evaluation service's own thread; this only copies its text.
#include "commands/evaluation_service.h"
#include "http/routes/routes.h"

HttpReply serveEvaluation(const Request&) {
    bool found = false;
    const std::string json = evaluationStatusJson(found);
    if (!found) return jsonError(404, "no evaluation yet: train a model first");
    return jsonReply(200, json);
}
