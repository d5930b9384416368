// A child process for the tests and tools: started in a working folder with
// its standard output and error appended to a log file, asked to end, awaited.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// How a child is asked to end: POSIX sends SIGINT, SIGTERM, SIGHUP or SIGKILL.
// Windows has only KILL (TerminateProcess) and INTERRUPT (Ctrl+C through the
// child's console; headless Wine delivers none between processes).
enum class ChildStop { INTERRUPT, TERMINATE, HANG_UP, KILL };

// Exit code of a child ended by KILL (128 + SIGKILL, as a POSIX shell reports it).
constexpr int KILLED_EXIT_CODE = 137;

struct ChildProcess {
    int64_t pid = -1;     // the process id; -1: none
    int64_t handle = 0;   // Windows: the process handle, closed once the child has ended
};

// Starts binary with the arguments; false when it could not be started.
bool startChild(const std::string& binary, const std::vector<std::string>& arguments, const std::string& workDir,
                const std::string& logPath, ChildProcess& child);

// False when the system cannot deliver that request (or there is no child).
bool stopChild(const ChildProcess& child, ChildStop how);

// True once the child has ended (it is then released: pid -1), with its exit
// code, 128 + the signal's number when a signal ended it.
bool childEnded(ChildProcess& child, int& exitCode);

}  // namespace platform
