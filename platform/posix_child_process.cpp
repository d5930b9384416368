#include "platform/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {

bool startChild(const std::string& binary, const std::vector<std::string>& arguments, const std::string& workDir,
                const std::string& logPath, ChildProcess& child) {
    // Everything the child needs is prepared before fork: only async-signal-safe calls after it.
    std::vector<char*> argv{const_cast<char*>(binary.c_str())};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        if (chdir(workDir.c_str()) != 0) _exit(126);
        const int out = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
            ::close(out);
        }
        // The parent may have the console signals blocked; the child sets its own mask.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    child.pid = pid;
    return true;
}

bool stopChild(const ChildProcess& child, ChildStop how) {
    if (child.pid <= 0) return false;
    const int signals[] = {SIGINT, SIGTERM, SIGHUP, SIGKILL};
    return kill(static_cast<pid_t>(child.pid), signals[static_cast<int>(how)]) == 0;
}

bool childEnded(ChildProcess& child, int& exitCode) {
    if (child.pid <= 0) return false;
    int status = 0;
    if (waitpid(static_cast<pid_t>(child.pid), &status, WNOHANG) == 0) return false;
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    child.pid = -1;
    return true;
}

}  // namespace platform
