#include "platform/file_size_limit.h"

#include <sys/resource.h>

#include <csignal>

namespace platform {
namespace {

rlimit before{};  // the limit to return to; touched by the test's own thread only
bool limited = false;

}  // namespace

bool limitFileSize(uint64_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    if (!limited && ::getrlimit(RLIMIT_FSIZE, &before) != 0) return false;
    rlimit limit = before;
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    limited = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    return limited;
}

void liftFileSizeLimit() {
    if (limited) ::setrlimit(RLIMIT_FSIZE, &before);
    limited = false;
}

}  // namespace platform
