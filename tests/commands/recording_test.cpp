#include <filesystem>
#include <fstream>

#include "armband/emg_routing.h"
#include "commands/recording.h"
#include "core/timer.h"
#include "platform/file_size_limit.h"
#include "tests/commands/command_fixture.h"

namespace {

class RecordingTest : public CommandTest {
protected:
    void fillBuffer(const Bytes& bytes) {
        std::lock_guard<std::mutex> lock(recordBufferMutex);
        *recordBuffer = bytes;
    }
    std::string save() {
        const uint8_t payload[1] = {INTERNAL_SAVE_RECORDING};
        testing::internal::CaptureStdout();
        handleInternalEvents(payload, 1);
        return testing::internal::GetCapturedStdout();
    }
};

Bytes pattern(size_t size, uint8_t seed) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 31 + seed);
    return bytes;
}

}  // namespace

TEST_F(RecordingTest, StartThenStopAbandonsTheRecording) {
    configure(0xFF, 0x07);
    command({0x06, 3});
    EXPECT_EQ(operatingMode.load(), MODE_RECORDING);
    EXPECT_EQ(recordGesture.load(), 3);
    EXPECT_EQ(timerId.load(), TIMER_ID_RECORD_LIMIT);
    command({0x06, 3});
    EXPECT_EQ(reply(), (Bytes{0x06, 0xFF})) << "a second start while recording";
    command({0x07});
    EXPECT_EQ(reply(), (Bytes{0x06, 0xFD}));
    EXPECT_EQ(operatingMode.load(), MODE_IDLE);
    EXPECT_EQ(timerId.load(), TIMER_ID_NONE);
    EXPECT_TRUE(recordTimer.stop());
    command({0x07});
    EXPECT_EQ(reply(), (Bytes{0x06, 0xFF})) << "nothing left to stop";
    EXPECT_TRUE(nothingSent());
    struct stat info;
    EXPECT_NE(stat("raw3.bin", &info), 0) << "an abandoned recording is never written";
}

TEST_F(RecordingTest, LengthModeAndConfigurationAreChecked) {
    // No EMG_RAW_CONFIG yet: the armband would stream nothing, so nothing is armed.
    command({0x06, 3});
    EXPECT_EQ(reply(), (Bytes{0x06, 0xFF}));
    EXPECT_EQ(operatingMode.load(), MODE_IDLE);
    EXPECT_EQ(timerId.load(), TIMER_ID_NONE);
    configure(0x00, 0x07);
    command({0x06, 3});
    EXPECT_EQ(reply(), (Bytes{0x06, 0xFF})) << "a configuration without channels";
    configure(0x03, 0x07);
    command({0x06});
    EXPECT_EQ(reply(), (Bytes{0x06, 0xFF}));
    command({0x06, 1, 2});
    EXPECT_EQ(reply(), (Bytes{0x06, 0xFF}));
    operatingMode = MODE_IDENTIFYING;
    command({0x06, 3});
    EXPECT_EQ(reply(), (Bytes{0x06, 0xFF}));
    EXPECT_EQ(operatingMode.load(), MODE_IDENTIFYING);
    command({0x07, 0x00});
    EXPECT_EQ(reply(), (Bytes{0x06, 0xFF}));
}

TEST_F(RecordingTest, SavesAppendOneRecordingAfterAnother) {
    recordGesture = 2;
    operatingMode = MODE_RECORDING;
    fillBuffer(pattern(1000, 1));
    EXPECT_NE(save().find("EMG raw data saved: SUCCESS"), std::string::npos);
    EXPECT_EQ(reply(), (Bytes{0x06, 0x00}));
    EXPECT_EQ(operatingMode.load(), MODE_IDLE);
    fillBuffer({});
    EXPECT_NE(save().find("EMG raw data save failed"), std::string::npos);
    EXPECT_EQ(reply(), (Bytes{0x06, 0xFF})) << "a recording without data is a failure, not a save";
    fillBuffer(pattern(640, 7));
    save();
    EXPECT_EQ(reply(), (Bytes{0x06, 0x00}));
    Bytes expected = pattern(1000, 1);
    const Bytes second = pattern(640, 7);
    expected.insert(expected.end(), second.begin(), second.end());
    const std::string file = readFile("raw2.bin");
    EXPECT_EQ(Bytes(file.begin(), file.end()), expected);
}

TEST_F(RecordingTest, AFileThatCannotBeOpenedAnswersFail) {
    recordGesture = 4;
    ASSERT_TRUE(std::filesystem::create_directory("raw4.bin"));
    fillBuffer(pattern(128, 3));
    EXPECT_NE(save().find("raw_file_name open error."), std::string::npos);
    EXPECT_EQ(reply(), (Bytes{0x06, 0xFF}));

    recordGesture = 5;
    fillBuffer({});
    save();
    EXPECT_EQ(reply(), (Bytes{0x06, 0xFF}));
    EXPECT_FALSE(std::filesystem::exists("raw5.bin")) << "an empty recording creates no file";

    // A link in place of the file is not written through (last: skipped where there are no links).
    recordGesture = 4;
    std::ofstream("elsewhere.bin") << "theirs";
    ASSERT_TRUE(std::filesystem::remove("raw4.bin"));
    std::error_code linkError;
    std::filesystem::create_symlink("elsewhere.bin", "raw4.bin", linkError);
    if (linkError) GTEST_SKIP() << "no symbolic links here (libstdc++ on Windows): " << linkError.message();
    fillBuffer(pattern(128, 3));
    const std::string log = save();
    EXPECT_NE(log.find("raw4.bin is a symbolic link"), std::string::npos) << log;
    EXPECT_EQ(reply(), (Bytes{0x06, 0xFF}));
    EXPECT_EQ(readFile("elsewhere.bin"), "theirs");
}

TEST_F(RecordingTest, AFailedWriteOrFlushLeavesEarlierRecordingsExactlyAsConfirmed) {
    recordGesture = 6;
    fillBuffer(pattern(1000, 2));
    save();
    ASSERT_EQ(reply(), (Bytes{0x06, 0x00}));

    // Let the file grow to 1500 bytes only. A large recording fails in the write
    // itself; a small one is taken whole into the stream's buffer and fails when
    // that is flushed.
    for (size_t size : {156000u, 1000u}) {
        if (!platform::limitFileSize(1500)) GTEST_SKIP() << "no file size limit on this system";
        fillBuffer(pattern(size, 4));
        const std::string log = save();
        platform::liftFileSizeLimit();
        EXPECT_EQ(reply(), (Bytes{0x06, 0xFF})) << size;
        EXPECT_NE(log.find("EMG raw data save failed"), std::string::npos) << log;
        const std::string file = readFile("raw6.bin");
        EXPECT_EQ(Bytes(file.begin(), file.end()), pattern(1000, 2)) << size;
    }
    // A later save follows the confirmed bytes directly.
    fillBuffer(pattern(500, 8));
    save();
    EXPECT_EQ(reply(), (Bytes{0x06, 0x00}));
    EXPECT_EQ(readFile("raw6.bin").size(), 1500u);
}

TEST_F(RecordingTest, TimerAndInternalEventsCheckTheirPayload) {
    testing::internal::CaptureStdout();
    handleTimerEvents(nullptr, 0);
    const uint8_t otherTimer[1] = {2};
    handleTimerEvents(otherTimer, 1);
    handleInternalEvents(nullptr, 0);
    const uint8_t otherJob[1] = {2};
    handleInternalEvents(otherJob, 1);
    const uint8_t recordLimit[1] = {TIMER_ID_RECORD_LIMIT};
    handleTimerEvents(recordLimit, 1);
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("Timer event format err!!!"), std::string::npos);
    EXPECT_NE(log.find("Internal event format err!!!"), std::string::npos);
    EXPECT_EQ(*eventQueue.pop(), (std::vector<uint8_t>{INTERNAL_EVT, INTERNAL_SAVE_RECORDING}))
        << "only the expiry queues the save";
    EXPECT_TRUE(nothingSent());
}
