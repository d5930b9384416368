// GET /api/recordings[?channels=C]: the raw recordings on disk.
#include <cstdio>

#include "http/routes/recording_files.h"
#include "http/routes/routes.h"

HttpReply serveRecordings(const Request& request) {
    int channels = 0;
    const ChannelsOutcome known = recordingChannels(request, channels);
    if (known == ChannelsOutcome::BAD) return jsonError(400, "channels must be a number from 1 to 8");
    std::string json = "{\"channels\":" + (known == ChannelsOutcome::KNOWN ? std::to_string(channels) : "null");
    json += ",\"framesPerSecond\":" + std::to_string(EMG_FRAMES_PER_SECOND) + ",\"recordings\":[";
    bool first = true;
    for (const RecordingFile& file : listRecordingFiles()) {
        json += first ? "{" : ",{";
        first = false;
        json += "\"gesture\":" + std::to_string(file.gesture);
        json += ",\"file\":" + jsonString(rawFileName(static_cast<unsigned>(file.gesture)));
        json += ",\"bytes\":" + std::to_string(file.bytes);
        if (known == ChannelsOutcome::KNOWN) {
            const long long frames = file.bytes / channels;
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%.3f", static_cast<double>(frames) / EMG_FRAMES_PER_SECOND);
            json += ",\"frames\":" + std::to_string(frames) + ",\"seconds\":" + seconds;
        } else {
            json += ",\"frames\":null,\"seconds\":null";
        }
        json += ",\"modified\":" + jsonString(isoTime(file.modified)) + "}";
    }
    return jsonReply(200, json + "]}");
}
