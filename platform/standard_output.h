// The process's standard output stream.
#pragma once

namespace platform {

// Sends everything written to standard output from now on to the null device
// (POSIX /dev/null, Windows NUL); false when that cannot be opened.
bool discardStandardOutput();

}  // namespace platform
