// Which route answers a request, by method and path. One file per route in http/routes/.
#pragma once

#include "http/http_reply.h"
#include "http/request.h"

HttpReply routeRequest(const Request& request);
