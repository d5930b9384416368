// POST /api/virtual/gesture/N: the virtual subject holds gesture N (0 rests).
// Served only when the server runs on the virtual armband.
#ifdef EMG_VIRTUAL_ARMBAND
#include "core/number_text.h"
#include "http/routes/routes.h"
#include "sim/pad_hook.h"

HttpReply servePadHold(const Request& request) {
    const std::string prefix = "/api/virtual/gesture/";
    const std::optional<int> gesture = parseBoundedInt(request.path.substr(prefix.size()), 0, 8);
    if (!gesture) return jsonError(404, "gestures are 0 (rest) to 8");
    if (!kv::sim::holdPadGesture(*gesture)) return jsonError(409, "the virtual armband's hub is not running");
    return jsonReply(200, "{\"gesture\":" + std::to_string(*gesture) + "}");
}

#endif  // EMG_VIRTUAL_ARMBAND
