#include "fuzz/fuzz_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fuzz {
namespace {

namespace fs = std::filesystem;
std::string scratchDir;

}  // namespace

void quietLog() {
    if (std::getenv("EMG_FUZZ_LOG")) return;
    std::fflush(stdout);
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0) return;
    dup2(null, STDOUT_FILENO);
    close(null);
}

void enterScratchDir(const std::string& prefix) {
    std::error_code error;
    std::string pattern = (fs::temp_directory_path(error) / (prefix + "-XXXXXX")).string();
    if (error || !mkdtemp(pattern.data()) || chdir(pattern.c_str()) != 0) {
        std::perror("fuzz: scratch folder");
        std::abort();
    }
    scratchDir = pattern;
    std::atexit(removeScratchDir);
}

void removeScratchDir() {
    std::error_code error;
    if (!scratchDir.empty() && chdir("/") == 0) fs::remove_all(scratchDir, error);
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
