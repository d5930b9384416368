// Folders: made along a whole path, entered, and fresh temporary ones.
// Results are error numbers as errno has them (0: done), for std::strerror.
#pragma once

#include <string>

namespace platform {

// mkdir -p: every missing folder along the path (POSIX: mode 0755 before the umask).
int makeDirectories(const std::string& path);

// Makes path the working directory of the process.
int enterDirectory(const std::string& path);

// Makes a new, empty folder in the system's temporary folder, named prefix and
// a unique suffix, and stores its path in made.
int makeTemporaryDirectory(const std::string& prefix, std::string& made);

}  // namespace platform
