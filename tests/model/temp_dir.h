// Runs each test of a fixture in a fresh temporary working directory, since the
// model functions read and write fixed file names in the working directory.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/directories.h"

class InTempDir : public ::testing::Test {
protected:
    void SetUp() override {
        std::string made;
        ASSERT_EQ(platform::makeTemporaryDirectory("emg_model_test", made), 0);
        std::filesystem::current_path(dir_ = made);
    }

    void TearDown() override {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(dir_);
    }

    static std::string readFile(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    // A text file with its line ends as '\n' alone: Windows writes "\r\n".
    static std::string readText(const std::string& name) {
        std::string text = readFile(name);
        for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.erase(at, 1);
        return text;
    }

    static void writeFile(const std::string& name, const std::string& content) { std::ofstream(name) << content; }

private:
    std::filesystem::path previous_ = std::filesystem::current_path();
    std::filesystem::path dir_;
};
