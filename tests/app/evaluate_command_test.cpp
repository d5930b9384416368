// `emgbridge evaluate`: options, the one-line errors with exit code 2, and a
// folder that stays as it was.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/evaluate_command.h"
#include "tests/model/subject_stream.h"
#include "tests/model/temp_dir.h"

namespace {

// 20 s of the subject on four channels, a gesture held for 2 s and rest for 1 s in turn.
void writeRecording(const std::string& path, int gesture, uint32_t seed, int seconds = 20) {
    kv::sim::VirtualSubject subject(seed);
    std::ofstream(path, std::ios::binary) << subjectStream(subject, 0x0F, {{gesture, 2}, {0, 1}}, seconds);
}

struct CommandRun {
    int code;
    std::string out;
    std::string err;
};

CommandRun evaluate(std::vector<std::string> options) {
    options.insert(options.begin(), {"emgbridge", "evaluate"});
    std::vector<char*> argv;
    for (std::string& option : options) argv.push_back(option.data());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int code = runEvaluateCommand(static_cast<int>(argv.size()), argv.data());
    std::string out = testing::internal::GetCapturedStdout();
    return {code, out, testing::internal::GetCapturedStderr()};
}

size_t entries(const std::filesystem::path& dir) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

using EvaluateCommand = InTempDir;

}  // namespace

TEST_F(EvaluateCommand, ReportsAsTextOrJson) {
    std::filesystem::create_directory("data");
    writeRecording("data/raw2.bin", 2, 1);
    writeRecording("data/raw5.bin", 5, 2);
    writeRecording("data/raw7.bin", 7, 3);

    const CommandRun text = evaluate({"--data-dir", "data", "--gestures", "2,7", "--channels", "4", "--folds", "4"});
    EXPECT_EQ(text.code, 0) << text.err;
    EXPECT_EQ(text.err, "");
    EXPECT_NE(text.out.find("2 gestures, 4 channels, 4 folds"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("mean held-out accuracy: "), std::string::npos);

    // Without --gestures every recording in the folder is evaluated.
    const CommandRun json = evaluate({"--json", "--channel-mask", "0x0f", "--data-dir", "data"});
    EXPECT_EQ(json.code, 0) << json.err;
    EXPECT_EQ(json.out.rfind("{\"state\":\"done\",\"channels\":4,\"folds\":5,\"gestures\":[{\"gesture\":2,", 0), 0u)
        << json.out;
    EXPECT_NE(json.out.find("{\"gesture\":7,"), std::string::npos);
    EXPECT_EQ(json.out.back(), '\n');
    EXPECT_EQ(std::count(json.out.begin(), json.out.end(), '\n'), 1);
    EXPECT_EQ(entries("data"), 3u);
    EXPECT_EQ(entries("."), 1u);
}

TEST_F(EvaluateCommand, BadInputIsOneLineAndExitCodeTwo) {
    writeRecording("raw1.bin", 1, 1);
    writeRecording("raw2.bin", 2, 2);
    writeRecording("raw3.bin", 3, 3, 2);  // two seconds: a handful of active windows
    const std::vector<std::vector<std::string>> bad{
        {"--gestures", "1,2"},                        // no channel count
        {"--channels", "4", "--channel-mask", "15"},  // both
        {"--channels", "9"},
        {"--channel-mask", "0"},
        {"--channels", "4", "--folds", "1"},
        {"--channels", "4", "--folds", "5x"},
        {"--channels", "4", "--gestures", "1,9"},
        {"--channels", "4", "--gestures", "1,1"},
        {"--channels", "4", "--gestures", "1"},                     // one gesture
        {"--channels", "4", "--gestures", "1,4"},                   // raw4.bin missing
        {"--channels", "4", "--gestures", "1,3", "--folds", "20"},  // too short for 20 folds
        {"--channels", "4", "--data-dir", "nowhere"},
        {"--channels", "4", "--verbose"},
        {"--channels"},
    };
    for (const auto& options : bad) {
        const CommandRun run = evaluate(options);
        EXPECT_EQ(run.code, 2) << options[0] << " " << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("emgbridge evaluate: ", 0), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    EXPECT_NE(evaluate({"--channels", "4", "--gestures", "1,4"}).err.find("raw4.bin"), std::string::npos);
    EXPECT_EQ(entries("."), 3u);
}
