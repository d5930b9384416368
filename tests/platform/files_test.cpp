// The data folder's file primitives: whole-file writes, cut-backs, no writes
// through a link, reads confined to the working folder.
#include "platform/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/directories.h"

namespace fs = std::filesystem;

namespace {

std::string contentOf(const fs::path& name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs each test inside data/ of a fresh temporary folder, with outside.txt beside data/.
class Files : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(platform::makeTemporaryDirectory("emg_files_test", base_), 0);
        ASSERT_EQ(platform::makeDirectories(base_ + "/data/sub"), 0);
        std::ofstream(base_ + "/outside.txt") << "secret";
        ASSERT_EQ(platform::enterDirectory(base_ + "/data"), 0);
    }
    void TearDown() override {
        fs::current_path(previous_);
        fs::remove_all(base_);
    }
    std::string base_;

private:
    fs::path previous_ = fs::current_path();
};

TEST_F(Files, DurableWriteReplacesTheWholeFileAndLeavesNoTemporaryFile) {
    std::ofstream("model.txt") << "an older and longer content";
    ASSERT_TRUE(platform::writeFileDurably("model.txt", "new\n", 4));
    EXPECT_EQ(contentOf("model.txt"), "new\n");
    size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(".")) entries += entry.path().filename() != "sub";
    EXPECT_EQ(entries, 1u);
}

TEST_F(Files, AppendedBytesAreCutBackToAGivenSize) {
    std::FILE* file = nullptr;
    ASSERT_TRUE(platform::openForAppending("raw1.bin", file));
    ASSERT_EQ(std::fwrite("0123456789", 1, 10, file), 10u);
    ASSERT_TRUE(platform::flushToDisk(file));
    uint64_t size = 0;
    ASSERT_TRUE(platform::fileSize(file, size));
    EXPECT_EQ(size, 10u);
    std::fclose(file);
    ASSERT_TRUE(platform::cutFile("raw1.bin", 4));
    EXPECT_EQ(contentOf("raw1.bin"), "0123");
    EXPECT_FALSE(platform::cutFile("missing.bin", 0));
}

TEST_F(Files, NothingIsWrittenThroughALink) {
    std::error_code error;
    fs::create_symlink("../outside.txt", "link.txt", error);
    if (error) GTEST_SKIP() << "no symbolic links here: " << error.message();
    EXPECT_TRUE(platform::isSymbolicLink("link.txt"));
    EXPECT_FALSE(platform::isSymbolicLink("sub"));
    std::FILE* file = nullptr;
    EXPECT_FALSE(platform::writeFileDurably("link.txt", "x", 1));
    EXPECT_FALSE(platform::openForWriting("link.txt", file));
    EXPECT_FALSE(platform::openForAppending("link.txt", file));
    EXPECT_FALSE(platform::cutFile("link.txt", 0));
    EXPECT_FALSE(platform::openForReadingInside("link.txt", file));  // it leads out of data/
    EXPECT_EQ(contentOf(base_ + "/outside.txt"), "secret");
}

TEST_F(Files, ReadsStayInsideTheWorkingFolder) {
    std::ofstream("sub/inside.txt") << "ok";
    std::FILE* file = nullptr;
    ASSERT_TRUE(platform::openForReadingInside("sub/../sub/inside.txt", file));
    char text[3] = {};
    EXPECT_EQ(std::fread(text, 1, 2, file), 2u);
    EXPECT_STREQ(text, "ok");
    std::fclose(file);
    EXPECT_FALSE(platform::openForReadingInside("../outside.txt", file));
    EXPECT_FALSE(platform::openForReadingInside(base_ + "/outside.txt", file));
    EXPECT_FALSE(platform::openForReadingInside("sub", file));  // a folder, not a file
    EXPECT_FALSE(platform::openForReadingInside("missing.txt", file));
    EXPECT_EQ(file, nullptr);
}

}  // namespace
