// GET /api/recordings/N.csv[?channels=C]: one recording as CSV, streamed in
// chunks as the client takes them, so that neither the file nor its text is
// ever held whole and the server thread is never busy for long.
#include <uWS.h>

#include <cstdio>
#include <memory>

#include "http/http_response.h"
#include "http/routes/recording_files.h"
#include "http/routes/routes.h"

namespace {

constexpr size_t FRAMES_PER_CHUNK = 2048;

// Lives from the head of the response until its end or its cancellation; only
// the server thread touches it. The response's user data points to it.
struct CsvStream {
    FILE* file = nullptr;
    int channels = 0;
    long long frame = 0;
    uWS::HttpResponse* response = nullptr;  // nullptr once cancelled
    bool pumping = false;                   // inside pump: a write completed at once
    bool again = false;
};

void destroy(CsvStream* stream) {
    std::fclose(stream->file);
    delete stream;
}

// The rows of the next frames, or "" at the end of the whole frames.
std::string nextRows(CsvStream& stream) {
    unsigned char bytes[FRAMES_PER_CHUNK * 8];
    const size_t frames = std::fread(bytes, stream.channels, FRAMES_PER_CHUNK, stream.file);
    std::string rows;
    rows.reserve(frames * (24 + 4 * stream.channels));
    char cell[32];
    for (size_t f = 0; f < frames; ++f, ++stream.frame) {
        rows += std::to_string(stream.frame);
        std::snprintf(cell, sizeof cell, ",%.6f", static_cast<double>(stream.frame) / RECORDING_FRAMES_PER_SECOND);
        rows += cell;
        for (int c = 0; c < stream.channels; ++c) {
            rows += ',';
            rows += std::to_string(bytes[f * stream.channels + c]);
        }
        rows += '\n';
    }
    return rows;
}

void pump(CsvStream* stream);

void onChunkWritten(void*, void* data, bool cancelled, void*) {
    auto* stream = static_cast<CsvStream*>(data);
    if (!cancelled) pump(stream);  // a cancelled write is followed by cancelRecordingCsv
}

// Writes chunks until one has to wait for the socket; its completion calls
// pump again. A write that completes at once only sets `again`, so that
// completions never nest.
void pump(CsvStream* stream) {
    if (stream->pumping) {
        stream->again = true;
        return;
    }
    stream->pumping = true;
    do {
        stream->again = false;
        if (!stream->response) break;
        const std::string rows = nextRows(*stream);
        if (rows.empty()) {
            stream->response->userData = nullptr;
            stream->response->end("0\r\n\r\n", 5);
            stream->response = nullptr;
            break;
        }
        char size[24];
        std::snprintf(size, sizeof size, "%zx\r\n", rows.size());
        const std::string chunk = size + rows + "\r\n";
        stream->response->write(chunk.data(), chunk.size(), onChunkWritten, stream);
    } while (stream->again);
    stream->pumping = false;
    if (!stream->response) destroy(stream);
}

}  // namespace

void serveRecordingCsv(uWS::HttpResponse* response, const Request& request) {
    const std::string_view path = request.path;
    const std::string_view name = path.substr(std::string_view("/api/recordings/").size());
    const size_t dot = name.rfind(".csv");
    const std::optional<int> gesture = dot != std::string_view::npos && dot + 4 == name.size()
                                           ? parseBoundedInt(name.substr(0, dot), 0, 255)
                                           : std::nullopt;
    if (!gesture) return sendJsonError(response, 404, "no such recording: use /api/recordings/N.csv");
    int channels = 0;
    const ChannelsOutcome known = recordingChannels(request, channels);
    if (known == ChannelsOutcome::BAD) return sendJsonError(response, 400, "channels must be a number from 1 to 8");
    const std::string file = "raw" + std::to_string(*gesture) + ".bin";
    auto* stream = new CsvStream;
    stream->file = std::fopen(file.c_str(), "rb");
    if (!stream->file) {
        delete stream;
        return sendJsonError(response, 404, "there is no recording " + file);
    }
    if (known == ChannelsOutcome::UNKNOWN) {
        destroy(stream);
        return sendJsonError(response, 409,
                             "the channel count is not known: configure the armband or add ?channels=C (1 to 8)");
    }
    stream->channels = channels;
    stream->response = response;
    response->userData = stream;
    std::string head = chunkedResponseHead(
        200, "text/csv; charset=utf-8",
        "Content-Disposition: attachment; filename=\"raw" + std::to_string(*gesture) + ".csv\"\r\n");
    std::string header = "frame,time_s";
    for (int c = 1; c <= channels; ++c) header += ",ch" + std::to_string(c);
    header += "\n";
    char size[24];
    std::snprintf(size, sizeof size, "%zx\r\n", header.size());
    head += size + header + "\r\n";  // the header row is the first chunk
    response->write(head.data(), head.size());
    pump(stream);
}

void cancelRecordingCsv(uWS::HttpResponse* response) {
    auto* stream = static_cast<CsvStream*>(response->userData);
    if (!stream) return;
    response->userData = nullptr;
    stream->response = nullptr;
    if (!stream->pumping) destroy(stream);
}
