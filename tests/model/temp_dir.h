// Runs each test of a fixture in a fresh temporary working directory, since the
// model functions read and write fixed file names in the working directory.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class InTempDir : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "emg_model_test_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        std::filesystem::current_path(dir_ = pattern);
    }

    void TearDown() override {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(dir_);
    }

    static std::string readFile(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    static void writeFile(const std::string& name, const std::string& content) { std::ofstream(name) << content; }

private:
    std::filesystem::path previous_ = std::filesystem::current_path();
    std::filesystem::path dir_;
};
