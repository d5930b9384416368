// A fuzz target as a plain program: feeds every file of the folders (and every
// file) named on the command line to LLVMFuzzerTestOneInput, one at a time, in
// name order. Fails when nothing is found to replay.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/fuzz_support.h"

namespace {

bool isDirectory(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The files of a folder, sorted; false when it cannot be read.
bool listFolder(const std::string& folder, std::vector<std::string>& files) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return false;
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.empty() || name[0] == '.') continue;
        if (!isDirectory(folder + "/" + name)) names.push_back(folder + "/" + name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    files.insert(files.end(), names.begin(), names.end());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string path = argv[i];
        if (isDirectory(path)) {
            if (!listFolder(path, files)) {
                std::fprintf(stderr, "cannot read the folder %s\n", path.c_str());
                return 2;
            }
        } else {
            files.push_back(path);
        }
    }
    // Read everything first: the target may change the working folder.
    std::vector<std::pair<std::string, std::vector<uint8_t>>> inputs;
    for (const std::string& file : files) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cannot read %s\n", file.c_str());
            return 2;
        }
        inputs.emplace_back(file, std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}));
    }
    if (inputs.empty()) {
        std::fprintf(stderr, "nothing to replay\n");
        return 2;
    }
    LLVMFuzzerInitialize(&argc, &argv);
    for (const auto& [name, bytes] : inputs) {
        std::fprintf(stderr, "replaying %s (%zu bytes)\n", name.c_str(), bytes.size());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::fprintf(stderr, "%zu inputs replayed\n", inputs.size());
    // Some targets leave detached threads running, as the server does: exit
    // through the normal path (the targets' exit handlers see to that).
    std::exit(0);
}
