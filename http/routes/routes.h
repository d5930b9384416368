// The HTTP routes, one file each. Every route answers on the server thread and
// keeps its work short: small files are read whole, recordings are streamed.
#pragma once

#include "http/request.h"

namespace uWS {
struct HttpResponse;
}

void serveAsset(uWS::HttpResponse* response, const Request& request);         // the console's files
void serveStatus(uWS::HttpResponse* response, const Request& request);        // GET /api/status
void serveRecordings(uWS::HttpResponse* response, const Request& request);    // GET /api/recordings
void serveRecordingCsv(uWS::HttpResponse* response, const Request& request);  // GET /api/recordings/N.csv
void serveModel(uWS::HttpResponse* response, const Request& request);         // GET /api/model
void serveEvaluation(uWS::HttpResponse* response, const Request& request);    // GET /api/evaluation

// A recording stream whose client went away (called by the server).
void cancelRecordingCsv(uWS::HttpResponse* response);
