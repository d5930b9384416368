// What the recording routes share: the raw files in the data folder and the
// channel count that gives their frames.
#pragma once

#include <string>
#include <vector>

#include "core/data_files.h"
#include "core/emg_geometry.h"
#include "http/request.h"

struct RecordingFile {
    int gesture;
    long long bytes;
    long long modified;  // seconds since the epoch
};

// Every regular file named rawFileName(N) (N 0..255) in the working directory, by gesture number.
std::vector<RecordingFile> listRecordingFiles();

enum class ChannelsOutcome { KNOWN, UNKNOWN, BAD };

// The channel count of ?channels=C (1..8), else of the current configuration.
// A raw file does not record it, so it is UNKNOWN when neither is set.
ChannelsOutcome recordingChannels(const Request& request, int& channels);
