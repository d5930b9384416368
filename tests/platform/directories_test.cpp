// Folders made along a path, entered, and fresh temporary ones.
#include "platform/directories.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

TEST(Directories, TemporaryFoldersAreNewEmptyAndDistinct) {
    std::string first, second;
    ASSERT_EQ(platform::makeTemporaryDirectory("emg_platform_test", first), 0);
    ASSERT_EQ(platform::makeTemporaryDirectory("emg_platform_test", second), 0);
    EXPECT_NE(first, second);
    EXPECT_TRUE(fs::is_directory(first));
    EXPECT_TRUE(fs::is_empty(first));
    EXPECT_EQ(fs::path(first).parent_path(), (fs::temp_directory_path() / "x").parent_path());
    EXPECT_EQ(fs::path(first).filename().string().rfind("emg_platform_test-", 0), 0u);
    fs::remove_all(first);
    fs::remove_all(second);
}

TEST(Directories, WholePathsAreMadeEnteredAndCheckedForFiles) {
    std::string base;
    ASSERT_EQ(platform::makeTemporaryDirectory("emg_platform_test", base), 0);
    const fs::path previous = fs::current_path();
    const std::string nested = base + "/a/b/c";
    EXPECT_EQ(platform::makeDirectories(nested), 0);
    EXPECT_TRUE(fs::is_directory(nested));
    EXPECT_EQ(platform::makeDirectories(nested), 0);  // already there

    std::ofstream(base + "/file") << "x";
    EXPECT_NE(platform::makeDirectories(base + "/file/below"), 0);  // a file is in the way

    EXPECT_EQ(platform::enterDirectory(nested), 0);
    EXPECT_TRUE(fs::equivalent(fs::current_path(), nested));
    EXPECT_EQ(platform::enterDirectory(base + "/missing"), ENOENT);
    fs::current_path(previous);
    fs::remove_all(base);
}

}  // namespace
