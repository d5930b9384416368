#include "platform/child_process.h"

#include <windows.h>

namespace platform {

namespace {

// One argument as the C runtime of the child splits its command line back:
// quoted, with backslashes doubled where they precede a quote.
std::wstring quoted(const std::wstring& argument) {
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out.push_back(c);
    }
    out.append(backslashes * 2, L'\\');
    out.push_back(L'"');
    return out;
}

std::wstring wide(const std::string& text) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length);
    return out;
}

HANDLE handleOf(const ChildProcess& child) {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(child.handle));
}

// Ctrl+C reaches every process attached to a console: attach to the child's,
// ignore the event here, send it, and go back to this process's own console.
bool interrupt(DWORD pid) {
    FreeConsole();
    bool sent = false;
    if (AttachConsole(pid)) {
        SetConsoleCtrlHandler(nullptr, TRUE);
        sent = GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != 0;
        FreeConsole();
    }
    AttachConsole(ATTACH_PARENT_PROCESS);
    // This process takes Ctrl+C again only after the event has been delivered.
    Sleep(100);
    SetConsoleCtrlHandler(nullptr, FALSE);
    return sent;
}

}  // namespace

bool startChild(const std::string& binary, const std::vector<std::string>& arguments, const std::string& workDir,
                const std::string& logPath, ChildProcess& child) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE log = CreateFileW(wide(logPath).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inherit, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) return false;
    std::wstring commandLine = quoted(wide(binary));
    for (const std::string& argument : arguments) commandLine += L" " + quoted(wide(argument));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = log;
    startup.hStdError = log;
    PROCESS_INFORMATION process{};
    const std::wstring folder = wide(workDir);
    const bool started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        folder.c_str(), &startup, &process) != 0;
    CloseHandle(log);
    if (!started) return false;
    CloseHandle(process.hThread);
    child.pid = process.dwProcessId;
    child.handle = reinterpret_cast<intptr_t>(process.hProcess);
    return true;
}

bool stopChild(const ChildProcess& child, ChildStop how) {
    if (child.pid <= 0) return false;
    switch (how) {
        case ChildStop::INTERRUPT: return interrupt(static_cast<DWORD>(child.pid));
        case ChildStop::KILL: return TerminateProcess(handleOf(child), KILLED_EXIT_CODE) != 0;
        default: return false;
    }
}

bool childEnded(ChildProcess& child, int& exitCode) {
    if (child.pid <= 0) return false;
    if (WaitForSingleObject(handleOf(child), 0) != WAIT_OBJECT_0) return false;
    DWORD code = 0;
    GetExitCodeProcess(handleOf(child), &code);
    exitCode = static_cast<int>(code);
    CloseHandle(handleOf(child));
    child = ChildProcess{};
    return true;
}

}  // namespace platform
