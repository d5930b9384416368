// GET /api/evaluation: the held-out evaluation of the latest generated model,
// computed on the evaluation service's own thread; this only copies its text.
#include "http/http_response.h"
#include "http/routes/routes.h"
#include "model/evaluation_service.h"

void serveEvaluation(uWS::HttpResponse* response, const Request&) {
    bool found = false;
    const std::string json = evaluationStatusJson(found);
    if (!found) return sendJsonError(response, 404, "no evaluation yet: train a model first");
    sendJson(response, 200, json);
}
