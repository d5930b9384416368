#include "fuzz/fuzz_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace fuzz {
namespace {

std::string scratchDir;

void removeAtExit() { removeScratchDir(); }

}  // namespace

void removeScratchDir() {
    if (scratchDir.empty()) return;
    if (chdir(scratchDir.c_str()) == 0) clearScratchDir();
    if (chdir("/") == 0) rmdir(scratchDir.c_str());
    scratchDir.clear();
}

void quietLog() {
    if (std::getenv("EMG_FUZZ_LOG")) return;
    std::fflush(stdout);
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0) return;
    dup2(null, STDOUT_FILENO);
    close(null);
}

void enterScratchDir(const std::string& prefix) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data()) || chdir(buffer.data()) != 0) {
        std::perror("fuzz: scratch folder");
        std::abort();
    }
    scratchDir = buffer.data();
    std::atexit(removeAtExit);
}

void clearScratchDir() {
    DIR* dir = opendir(".");
    if (!dir) return;
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
    for (const std::string& name : names) unlink(name.c_str());
}

void writeFile(const char* name, const uint8_t* data, size_t size, bool append) {
    std::FILE* file = std::fopen(name, append ? "ab" : "wb");
    if (!file) return;
    if (size > 0) std::fwrite(data, 1, size, file);
    std::fclose(file);
}

}  // namespace fuzz
