#include "platform/directories.h"

#include <cerrno>
#include <filesystem>
#include <random>

namespace platform {

namespace fs = std::filesystem;

namespace {

// Names tried before giving up on a temporary folder (each clash is another process's folder).
constexpr int TEMPORARY_NAME_ATTEMPTS = 100;

// std::filesystem reports errno values (generic category) except for some Windows codes.
int errorNumber(const std::error_code& error) {
    return error.category() == std::generic_category() ? error.value() : EIO;
}

}  // namespace

int makeDirectories(const std::string& path) {
    std::error_code error;
    fs::create_directories(fs::u8path(path), error);
    return error ? errorNumber(error) : 0;
}

int enterDirectory(const std::string& path) {
    std::error_code error;
    fs::current_path(fs::u8path(path), error);
    return error ? errorNumber(error) : 0;
}

int makeTemporaryDirectory(const std::string& prefix, std::string& made) {
    std::error_code error;
    const fs::path base = fs::temp_directory_path(error);
    if (error) return errorNumber(error);
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < TEMPORARY_NAME_ATTEMPTS; ++attempt) {
        std::string name = prefix + "-";
        for (int i = 0; i < 6; ++i) name += digits[random() % (sizeof digits - 1)];
        // create_directory is false without an error when the name is taken.
        if (fs::create_directory(base / name, error)) {
            made = (base / name).string();
            return 0;
        }
        if (error) return errorNumber(error);
    }
    return EEXIST;
}

}  // namespace platform
