#include "app/evaluate_command.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "commands/evaluation_report.h"
#include "core/data_files.h"
#include "core/operating_state.h"
#include "model/evaluation.h"

namespace {

constexpr int EXIT_BAD_INPUT = 2;
constexpr unsigned long MAX_FOLDS = 100;

const char* const USAGE =
    "usage: emgbridge evaluate [--data-dir DIR] [--gestures LIST] (--channels N | --channel-mask M) "
    "[--folds K] [--json]\n";

struct Options {
    std::string dataDir = ".";
    uint8_t gestureMask = 0;  // 0: every gesture with a recording
    uint8_t channelMask = 0;
    uint32_t folds = DEFAULT_EVALUATION_FOLDS;
    bool json = false;
    bool help = false;
};

// A whole unsigned number in [low, high] (base 10, or 16 with 0x when hex is allowed).
bool parseNumber(const std::string& text, unsigned long low, unsigned long high, bool hex, unsigned long& value) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
    char* end = nullptr;
    value = std::strtoul(text.c_str(), &end, hex ? 0 : 10);
    return *end == '\0' && value >= low && value <= high;
}

std::string parseGestures(const std::string& list, uint8_t& mask) {
    size_t start = 0;
    for (;;) {
        const size_t comma = list.find(',', start);
        const std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        unsigned long gesture = 0;
        if (!parseNumber(item, 1, 8, false, gesture))
            return "--gestures takes gesture numbers 1..8 separated by commas, not '" + list + "'";
        const uint8_t bit = static_cast<uint8_t>(1u << (gesture - 1));
        if (mask & bit) return "gesture " + item + " is given twice in --gestures";
        mask |= bit;
        if (comma == std::string::npos) return {};
        start = comma + 1;
    }
}

// One line of reason when the arguments are not usable, else empty.
std::string parseOptions(int argc, char** argv, Options& options) {
    bool channelsGiven = false;
    for (int i = 2; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--json") {
            options.json = true;
            continue;
        }
        if (option == "--help") {
            options.help = true;
            continue;
        }
        if (option != "--data-dir" && option != "--gestures" && option != "--channels" && option != "--channel-mask" &&
            option != "--folds")
            return "unknown option '" + option + "'";
        if (i + 1 >= argc) return option + " needs a value";
        const std::string value = argv[++i];
        unsigned long number = 0;
        if (option == "--data-dir") {
            options.dataDir = value;
        } else if (option == "--gestures") {
            options.gestureMask = 0;
            const std::string error = parseGestures(value, options.gestureMask);
            if (!error.empty()) return error;
        } else if (option == "--folds") {
            if (!parseNumber(value, 2, MAX_FOLDS, false, number))
                return "--folds takes a number from 2 to " + std::to_string(MAX_FOLDS) + ", not '" + value + "'";
            options.folds = static_cast<uint32_t>(number);
        } else {
            if (channelsGiven) return "give either --channels or --channel-mask, once";
            channelsGiven = true;
            if (option == "--channels") {
                if (!parseNumber(value, 1, 8, false, number))
                    return "--channels takes a channel count from 1 to 8, not '" + value + "'";
                options.channelMask = static_cast<uint8_t>((1u << number) - 1);
            } else {
                if (!parseNumber(value, 1, 255, true, number))
                    return "--channel-mask takes a mask from 1 to 255 (or 0x01 to 0xff), not '" + value + "'";
                options.channelMask = static_cast<uint8_t>(number);
            }
        }
    }
    if (!channelsGiven && !options.help)
        return "give the channel count of the recordings with --channels N or --channel-mask M";
    return {};
}

// Reads the selected recordings (or, with no selection, every one present).
std::string readRecordings(Options& options, RecordingSet& recordings) {
    const bool all = options.gestureMask == 0;
    for (int g = 1; g <= 8; ++g) {
        if (!all && !((options.gestureMask >> (g - 1)) & 1u)) continue;
        const std::string path = options.dataDir + "/" + rawFileName(static_cast<unsigned>(g));
        auto bytes = std::make_shared<std::vector<uint8_t>>();
        const ReadResult read = readWholeFile(path, *bytes);
        if (read == READ_OPEN_FAILED && all) continue;
        if (read != READ_OK) return "cannot read the recording " + path;
        recordings[static_cast<uint8_t>(g)] = std::move(bytes);
        if (all) options.gestureMask |= static_cast<uint8_t>(1u << (g - 1));
    }
    if (all && bitCount(options.gestureMask) < 2)
        return "fewer than two recordings (raw1.bin .. raw8.bin) in " + options.dataDir;
    return {};
}

int badInput(const std::string& error) {
    std::fprintf(stderr, "emgbridge evaluate: %s\n", error.c_str());
    return EXIT_BAD_INPUT;
}

}  // namespace

int runEvaluateCommand(int argc, char** argv) {
    Options options;
    std::string error = parseOptions(argc, argv, options);
    if (!error.empty()) return badInput(error);
    if (options.help) {
        std::fputs(USAGE, stdout);
        return 0;
    }
    RecordingSet recordings;
    error = readRecordings(options, recordings);
    if (!error.empty()) return badInput(error);
    Evaluation evaluation;
    if (evaluateRecordings(recordings, options.gestureMask, options.channelMask, options.folds, evaluation, error) != 0)
        return badInput(error);
    const std::string report = options.json ? evaluationJson(evaluation) + "\n" : evaluationText(evaluation);
    std::fputs(report.c_str(), stdout);
    std::fflush(stdout);
    return 0;
}
