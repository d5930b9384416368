#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/directories.h"
#include "platform/standard_output.h"

namespace fuzz {
namespace {

namespace fs = std::filesystem;
std::string scratchDir;

}  // namespace

void quietLog() {
    if (std::getenv("EMG_FUZZ_LOG")) return;
    platform::discardStandardOutput();
}

void enterScratchDir(const std::string& prefix) {
    std::string made;
    int failure = platform::makeTemporaryDirectory(prefix, made);
    if (failure == 0) failure = platform::enterDirectory(made);
    if (failure != 0) {
        std::fprintf(stderr, "fuzz: scratch folder: %s\n", std::strerror(failure));
        std::abort();
    }
    scratchDir = made;
    std::atexit(removeScratchDir);
}

void removeScratchDir() {
    std::error_code error;
    // Out of the folder first: a working folder cannot be removed on Windows.
    if (!scratchDir.empty() && platform::enterDirectory(fs::temp_directory_path(error).string()) == 0) {
        fs::remove_all(scratchDir, error);
    }
    scratchDir.clear();
}

void clearScratchDir() {
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(".", error)) fs::remove_all(entry.path(), error);
}

void writeFile(const char* name, const uint8_t* data, size_t size, bool append) {
    std::ofstream(name, std::ios::binary | (append ? std::ios::app : std::ios::trunc))
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz: %s\n", what);
    std::abort();
}

}  // namespace fuzz
