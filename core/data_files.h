// The files of the data folder (the server's working directory): their names,
// and how their contents are read. Their shapes are in core/emg_geometry.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/emg_geometry.h"

// The trained pairwise model: one text row per gesture pair (modelRowsForGestures),
// the channel weights then the bias.
constexpr const char* MODEL_FILE_NAME = "W&B.txt";
// The binary model image last sent to the armband.
constexpr const char* MODEL_IMAGE_FILE_NAME = "model.bin";

// "raw" + gesture + ".bin": every recording of one gesture, frames of one byte per
// enabled channel. Clients may record any gesture number 0..255.
std::string rawFileName(unsigned gesture);

// The gesture whose rawFileName is exactly name (0..255), else nullopt: no sign,
// no leading zero, nothing after ".bin".
std::optional<unsigned> gestureOfRawFileName(std::string_view name);

// "raw" + gesture + ".csv": the download name of a recording as CSV.
std::string rawCsvFileName(unsigned gesture);

// "feature" + key + ".txt": the features of one class (key 1..8) while a model is generated.
std::string featureFileName(const std::string& key);
inline std::string featureFileName(int key) {
    return featureFileName(std::to_string(key));
}

enum ReadResult : int {
    READ_OK,
    READ_OPEN_FAILED,
    READ_FAILED,  // opened, but a read failed: what was read is not the whole file
};

// Replaces contents with the whole file. A read error is READ_FAILED, never taken
// for the end of the file; contents is complete only with READ_OK.
ReadResult readWholeFile(const std::string& path, std::string& contents);
ReadResult readWholeFile(const std::string& path, std::vector<uint8_t>& contents);

// One number of the text files: a word (no white space) that is wholly a decimal
// number, an optional sign, digits with an optional point, an optional exponent,
// within the float range; a value too small for a float reads as zero, as a stream
// reads it. nullopt for anything else (nan, inf, hexadecimal, "1,5", "2x").
std::optional<float> parseTextNumber(std::string_view word);

struct TextNumbers {
    std::vector<float> values;
    bool complete = true;  // false: a word that is not a number ended the reading
};

// The numbers of a text file in order, up to the first word that is not one. Words
// are separated by white space, so a line may end in "\r\n".
TextNumbers parseTextNumbers(std::string_view text);
