// The HTTP routes, one file each. Every route answers on the server thread and
// keeps its work short: small files are read whole, recordings are streamed.
#pragma once

#include "http/http_reply.h"
#include "http/request.h"

HttpReply serveAsset(const Request& request);         // the console's files
HttpReply serveStatus(const Request& request);        // GET /api/status
HttpReply serveRecordings(const Request& request);    // GET /api/recordings
HttpReply serveRecordingCsv(const Request& request);  // GET /api/recordings/N.csv
HttpReply serveModel(const Request& request);         // GET /api/model
HttpReply serveEvaluation(const Request& request);    // GET /api/evaluation
HttpReply serveRecordingDelete(const Request& request);  // DELETE /api/recordings/N
#ifdef EMG_VIRTUAL_ARMBAND
HttpReply servePadHold(const Request& request);  // POST /api/virtual/gesture/N
#endif
