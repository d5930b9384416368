// GET /api/recordings/N.csv[?channels=C]: one recording as CSV, handed out in
// pieces as the client takes them, so that neither the file nor its text is
// ever held whole and the server thread is never busy for long.
#include <cstdio>
#include <memory>

#include "http/routes/recording_files.h"
#include "http/routes/routes.h"

namespace {

constexpr size_t FRAMES_PER_CHUNK = 512;  // about 20 KB of text: a fraction of a millisecond of work

// Lives as long as the reply; only the server thread touches it.
class CsvRows : public ChunkSource {
public:
    CsvRows(FILE* file, int channels) : file_(file), channels_(channels) {}
    ~CsvRows() override { std::fclose(file_); }

    // The header row first, then the rows of the next whole frames; "" at the end.
    std::string next() override {
        if (!headerSent_) {
            headerSent_ = true;
            std::string header = "frame,time_s";
            for (int c = 1; c <= channels_; ++c) header += ",ch" + std::to_string(c);
            return header + "\n";
        }
        unsigned char bytes[FRAMES_PER_CHUNK * 8];
        const size_t frames = std::fread(bytes, channels_, FRAMES_PER_CHUNK, file_);
        std::string rows;
        rows.reserve(frames * (24 + 4 * channels_));
        char cell[32];
        for (size_t f = 0; f < frames; ++f, ++frame_) {
            rows += std::to_string(frame_);
            std::snprintf(cell, sizeof cell, ",%.6f", static_cast<double>(frame_) / EMG_FRAMES_PER_SECOND);
            rows += cell;
            for (int c = 0; c < channels_; ++c) {
                rows += ',';
                rows += std::to_string(bytes[f * channels_ + c]);
            }
            rows += '\n';
        }
        return rows;
    }

private:
    FILE* file_;
    int channels_;
    long long frame_ = 0;
    bool headerSent_ = false;
};

}  // namespace

HttpReply serveRecordingCsv(const Request& request) {
    const std::string_view path = request.path;
    const std::string_view name = path.substr(std::string_view("/api/recordings/").size());
    const size_t dot = name.rfind(".csv");
    const std::optional<int> gesture = dot != std::string_view::npos && dot + 4 == name.size()
                                           ? parseBoundedInt(name.substr(0, dot), 0, 255)
                                           : std::nullopt;
    if (!gesture) return jsonError(404, "no such recording: use /api/recordings/N.csv");
    int channels = 0;
    const ChannelsOutcome known = recordingChannels(request, channels);
    if (known == ChannelsOutcome::BAD) return jsonError(400, "channels must be a number from 1 to 8");
    const std::string file = rawFileName(static_cast<unsigned>(*gesture));
    FILE* opened = std::fopen(file.c_str(), "rb");
    if (!opened) return jsonError(404, "there is no recording " + file);
    if (known == ChannelsOutcome::UNKNOWN) {
        std::fclose(opened);
        return jsonError(409, "the channel count is not known: configure the armband or add ?channels=C (1 to 8)");
    }
    HttpReply reply = textReply(
        200, "text/csv; charset=utf-8", {},
        "Content-Disposition: attachment; filename=\"" + rawCsvFileName(static_cast<unsigned>(*gesture)) + "\"\r\n");
    reply.chunks = std::make_unique<CsvRows>(opened, channels);
    return reply;
}
