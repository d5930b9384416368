#include "platform/standard_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace platform {

bool discardStandardOutput() {
    std::fflush(stdout);
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0) return false;
    const bool redirected = dup2(null, STDOUT_FILENO) >= 0;
    close(null);
    return redirected;
}

}  // namespace platform
