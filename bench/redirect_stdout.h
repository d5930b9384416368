// Points standard output (file descriptor 1) somewhere else for as long as the
// object lives, so the server's log lines do not mix with a benchmark's report;
// what was buffered is flushed on both sides of the switch.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

class RedirectStdout {
public:
    explicit RedirectStdout(const char* path = "/dev/null", int flags = O_WRONLY) {
        std::cout.flush();
        std::fflush(stdout);
        saved_ = ::dup(1);
        const int target = ::open(path, flags, 0644);
        if (target >= 0) {
            ::dup2(target, 1);
            ::close(target);
        }
    }
    ~RedirectStdout() {
        std::cout.flush();
        std::fflush(stdout);
        if (saved_ >= 0) {
            ::dup2(saved_, 1);
            ::close(saved_);
        }
    }
    RedirectStdout(const RedirectStdout&) = delete;
    RedirectStdout& operator=(const RedirectStdout&) = delete;

private:
    int saved_ = -1;
};
