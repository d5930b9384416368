// GET /api/model: the shape of "W&B.txt" and when it was written.
#include <sys/stat.h>

#include "http/routes/routes.h"
#include "model/training.h"

HttpReply serveModel(const Request&) {
    struct stat info {};
    int32_t rows = 0;
    int32_t columns = 0;
    if (stat(MODEL_FILE_NAME, &info) != 0 || !readModelShape(rows, columns)) {
        return jsonError(404, "no usable model yet: train one first");
    }
    const int32_t gestures = gesturesForModelRows(rows);
    std::string json = "{\"file\":" + jsonString(MODEL_FILE_NAME);
    json += ",\"gestures\":" + (gestures ? std::to_string(gestures) : std::string("null"));
    json += ",\"channels\":" + std::to_string(columns - 1);
    json += ",\"rows\":" + std::to_string(rows);
    json += ",\"bytes\":" + std::to_string(info.st_size);
    json += ",\"modified\":" + jsonString(isoTime(info.st_mtime)) + "}";
    return jsonReply(200, json);
}
