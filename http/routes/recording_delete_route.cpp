// DELETE /api/recordings/N: removes rawFileName(N), so that a gesture can be recorded afresh.
#include <cstdio>
#include <optional>
#include <string>

#include "core/number_text.h"
#include "core/operating_state.h"
#include "http/routes/recording_files.h"
#include "http/routes/routes.h"

HttpReply serveRecordingDelete(const Request& request) {
    const std::string prefix = "/api/recordings/";
    const std::optional<int> gesture = parseBoundedInt(request.path.substr(prefix.size()), 1, 8);
    if (!gesture) return jsonError(404, "no such recording");
    // The save appends to the file when the recording ends: not while that gesture records.
    if (operatingMode == MODE_RECORDING && recordGesture == *gesture)
        return jsonError(409, "this gesture is being recorded");
    const std::string file = rawFileName(static_cast<unsigned>(*gesture));
    if (std::remove(file.c_str()) != 0)
        return jsonError(404, "no such recording");
    return textReply(204, "application/json", "");
}
