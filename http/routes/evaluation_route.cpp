// GET /api/evaluation: the held-out evaluation of the latest model.
#include "http/http_response.h"
#include "http/routes/routes.h"

void serveEvaluation(uWS::HttpResponse* response, const Request&) {
    sendJsonError(response, 404, "no evaluation yet: train a model first");
}
