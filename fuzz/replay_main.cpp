// A fuzz target as a plain program: feeds every file named, or in the folders named, to LLVMFuzzerTestOneInput in
// name order. Fails when nothing is found to replay.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <utility>
#include <vector>

#include "core/data_files.h"
#include "fuzz/fuzz_support.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    // Read everything first: the target changes the working folder.
    std::vector<std::pair<std::string, std::vector<uint8_t>>> inputs;
    for (int i = 1; i < argc; ++i) {
        std::vector<fs::path> files;
        std::error_code error;
        if (!fs::is_directory(argv[i])) files.push_back(argv[i]);
        for (const fs::directory_entry& entry : fs::directory_iterator(argv[i], error)) {
            if (entry.path().filename().string()[0] != '.' && !entry.is_directory()) files.push_back(entry.path());
        }
        if (error && fs::is_directory(argv[i])) {
            std::fprintf(stderr, "cannot read the folder %s\n", argv[i]);
            return 2;
        }
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            std::vector<uint8_t> bytes;
            if (readWholeFile(file.string(), bytes) != READ_OK) {
                std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
                return 2;
            }
            inputs.emplace_back(file.string(), std::move(bytes));
        }
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
    // Detached threads may still run, as in the server: the targets' exit handlers see to them.
    std::exit(0);
}
