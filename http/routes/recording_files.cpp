#include "http/routes/recording_files.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

#include "core/operating_state.h"

std::vector<RecordingFile> listRecordingFiles() {
    std::vector<RecordingFile> files;
    DIR* folder = opendir(".");
    if (!folder) return files;
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        const std::optional<unsigned> gesture = gestureOfRawFileName(name);
        struct stat info {};
        if (!gesture || stat(name.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        files.push_back(
            {static_cast<int>(*gesture), static_cast<long long>(info.st_size), static_cast<long long>(info.st_mtime)});
    }
    closedir(folder);
    std::sort(files.begin(), files.end(),
              [](const RecordingFile& a, const RecordingFile& b) { return a.gesture < b.gesture; });
    return files;
}

ChannelsOutcome recordingChannels(const Request& request, int& channels) {
    if (const std::optional<std::string> given = queryValue(request.query, "channels")) {
        const std::optional<int> value = parseBoundedInt(*given, 1, 8);
        if (!value) return ChannelsOutcome::BAD;
        channels = *value;
        return ChannelsOutcome::KNOWN;
    }
    // After a disconnection the last configuration still tells how long the recordings are.
    channels = channelCount > 0 ? channelCount.load() : lastChannelCount.load();
    return channels > 0 ? ChannelsOutcome::KNOWN : ChannelsOutcome::UNKNOWN;
}
