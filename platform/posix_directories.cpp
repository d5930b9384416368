#include "platform/directories.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

namespace platform {

int makeDirectories(const std::string& path) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (!prefix.empty() && mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) return errno;
        if (slash == std::string::npos) return 0;
    }
}

int enterDirectory(const std::string& path) {
    return chdir(path.c_str()) == 0 ? 0 : errno;
}

int makeTemporaryDirectory(const std::string& prefix, std::string& made) {
    std::error_code error;
    const std::string pattern = (std::filesystem::temp_directory_path(error) / (prefix + "-XXXXXX")).string();
    if (error) return error.value();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) return errno;
    made = buffer.data();
    return 0;
}

}  // namespace platform
