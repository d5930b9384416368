// The Windows side of platform/files.h: every write opens the final name with
// FILE_FLAG_OPEN_REPARSE_POINT and refuses what it opened when that is a
// reparse point (a symbolic link or junction), so the decision is made on the
// opened file and not by an earlier check; reads are confined by the final
// path of the opened handle; FlushFileBuffers before a write-through rename.
#include "platform/files.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <filesystem>
#include <random>

namespace platform {
namespace {

// Names tried for a temporary file before giving up (each clash is another writer's file).
constexpr int TEMPORARY_NAME_ATTEMPTS = 100;
// Longest final path read back from a handle, in UTF-16 units (Windows' long-path limit).
constexpr DWORD FINAL_PATH_CAPACITY = 32768;
// Largest piece handed to one WriteFile call.
constexpr size_t WRITE_PIECE = 1u << 30;

std::wstring wide(const std::string& name) {
    return std::filesystem::u8path(name).wstring();
}

bool isReparsePoint(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileInformationByHandle(handle, &info) == 0 ||
           (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Opens the final name itself (never what a link there points at) and refuses a link.
HANDLE openNoFollow(const std::string& name, DWORD access, DWORD disposition) {
    const HANDLE handle = CreateFileW(wide(name).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return handle;
    if (isReparsePoint(handle)) {
        CloseHandle(handle);
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

// Hands the handle to a C stream; on failure the handle is closed.
bool streamOf(HANDLE handle, int flags, const char* mode, std::FILE*& file) {
    file = nullptr;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
    if (fd < 0) {
        CloseHandle(handle);
        return false;
    }
    file = _fdopen(fd, mode);
    if (file == nullptr) _close(fd);
    return file != nullptr;
}

HANDLE handleOf(std::FILE* file) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
}

bool writeAll(HANDLE handle, const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD piece = static_cast<DWORD>(size < WRITE_PIECE ? size : WRITE_PIECE);
        DWORD written = 0;
        if (WriteFile(handle, bytes, piece, &written, nullptr) == 0 || written == 0) return false;
        bytes += written;
        size -= written;
    }
    return true;
}

bool finalPath(HANDLE handle, std::wstring& path) {
    path.assign(FINAL_PATH_CAPACITY, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(handle, &path[0], FINAL_PATH_CAPACITY, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= FINAL_PATH_CAPACITY) return false;
    path.resize(length);
    return true;
}

// True when `inner` names something below the folder `outer` (both final paths).
bool isBelow(const std::wstring& inner, const std::wstring& outer) {
    if (inner.size() <= outer.size()) return false;
    const bool folderEndsInSeparator = !outer.empty() && outer.back() == L'\\';  // a drive's root
    if (!folderEndsInSeparator && inner[outer.size()] != L'\\') return false;
    return CompareStringOrdinal(inner.c_str(), static_cast<int>(outer.size()), outer.c_str(),
                                static_cast<int>(outer.size()), TRUE) == CSTR_EQUAL;
}

bool workingFolderPath(std::wstring& path) {
    const HANDLE folder = CreateFileW(L".", 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return false;
    const bool found = finalPath(folder, path);
    CloseHandle(folder);
    return found;
}

}  // namespace

bool writeFileDurably(const std::string& name, const void* data, size_t size) {
    // MoveFileEx replaces a link instead of writing through it; refusing it keeps
    // the rule that a link in the data folder is never written over.
    if (isSymbolicLink(name)) return false;
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::random_device seed;
    std::mt19937 random(seed());
    std::string temporary;
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < TEMPORARY_NAME_ATTEMPTS && handle == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = name + ".";
        for (int i = 0; i < 6; ++i) temporary += digits[random() % (sizeof digits - 1)];
        // CREATE_NEW: never an existing file or link.
        handle = CreateFileW(wide(temporary).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
        if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    if (handle == INVALID_HANDLE_VALUE) return false;
    bool done = writeAll(handle, data, size) && FlushFileBuffers(handle) != 0;
    done = CloseHandle(handle) != 0 && done;
    done = done && MoveFileExW(wide(temporary).c_str(), wide(name).c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!done) {
        DeleteFileW(wide(temporary).c_str());
        return false;
    }
    return true;
}

bool openForAppending(const std::string& name, std::FILE*& file) {
    file = nullptr;
    const HANDLE handle = openNoFollow(name, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, OPEN_ALWAYS);
    return handle != INVALID_HANDLE_VALUE && streamOf(handle, _O_APPEND | _O_BINARY, "ab", file);
}

bool openForWriting(const std::string& name, std::FILE*& file) {
    file = nullptr;
    // Emptied after the link check: CREATE_ALWAYS would empty a link's target first.
    const HANDLE handle = openNoFollow(name, GENERIC_WRITE | FILE_READ_ATTRIBUTES, OPEN_ALWAYS);
    if (handle == INVALID_HANDLE_VALUE) return false;
    if (SetEndOfFile(handle) == 0) {
        CloseHandle(handle);
        return false;
    }
    return streamOf(handle, _O_BINARY, "wb", file);
}

bool openForReadingInside(const std::string& relativeName, std::FILE*& file) {
    file = nullptr;
    std::wstring folder;
    if (!workingFolderPath(folder)) return false;
    // Links are followed by the open; where the opened file really is decides.
    const HANDLE handle = CreateFileW(wide(relativeName).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    std::wstring opened;
    if (GetFileType(handle) != FILE_TYPE_DISK || GetFileInformationByHandle(handle, &info) == 0 ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !finalPath(handle, opened) ||
        !isBelow(opened, folder)) {
        CloseHandle(handle);
        return false;
    }
    return streamOf(handle, _O_RDONLY | _O_BINARY, "rb", file);
}

bool fileSize(std::FILE* file, uint64_t& size) {
    LARGE_INTEGER bytes{};
    if (GetFileSizeEx(handleOf(file), &bytes) == 0) return false;
    size = static_cast<uint64_t>(bytes.QuadPart);
    return true;
}

bool flushToDisk(std::FILE* file) {
    return std::fflush(file) == 0 && FlushFileBuffers(handleOf(file)) != 0;
}

bool cutFile(const std::string& name, uint64_t size) {
    const HANDLE handle = openNoFollow(name, GENERIC_WRITE | FILE_READ_ATTRIBUTES, OPEN_EXISTING);
    if (handle == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(size);
    const bool cut = SetFilePointerEx(handle, end, nullptr, FILE_BEGIN) != 0 && SetEndOfFile(handle) != 0;
    return CloseHandle(handle) != 0 && cut;
}

bool isSymbolicLink(const std::string& name) {
    const DWORD attributes = GetFileAttributesW(wide(name).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace platform
