// The POSIX side of platform/files.h: O_NOFOLLOW opens, so that whether the
// final name is a link is decided by the open itself and not by an earlier
// check; openat2 with RESOLVE_BENEATH for reads confined to the working
// directory; fsync before a rename.
#include "platform/files.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace platform {
namespace {

bool openStream(const std::string& name, int flags, const char* mode, std::FILE*& file) {
    file = nullptr;
    const int fd = ::open(name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    file = ::fdopen(fd, mode);
    if (file == nullptr) ::close(fd);
    return file != nullptr;
}

bool writeAll(int fd, const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace

bool writeFileDurably(const std::string& name, const void* data, size_t size) {
    // rename replaces a link instead of writing through it; refusing it keeps
    // the rule that a link in the data folder is never written over.
    if (isSymbolicLink(name)) return false;
    std::string temporary = name + ".XXXXXX";
    std::vector<char> pattern(temporary.begin(), temporary.end());
    pattern.push_back('\0');
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);  // O_EXCL: never an existing file or link
    if (fd < 0) return false;
    temporary = pattern.data();
    bool done = writeAll(fd, data, size) && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
    done = ::close(fd) == 0 && done;
    done = done && ::rename(temporary.c_str(), name.c_str()) == 0;
    if (!done) {
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself reaches the disk with the folder's entry.
    const size_t slash = name.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : name.substr(0, slash);
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return true;
}

bool openForAppending(const std::string& name, std::FILE*& file) {
    return openStream(name, O_WRONLY | O_CREAT | O_APPEND, "ab", file);
}

bool openForWriting(const std::string& name, std::FILE*& file) {
    return openStream(name, O_WRONLY | O_CREAT | O_TRUNC, "wb", file);
}

bool openForReadingInside(const std::string& relativeName, std::FILE*& file) {
    file = nullptr;
    open_how how{};
    how.flags = O_RDONLY | O_CLOEXEC;
    // `..` past the folder, absolute names and links leading out all fail
    // inside the kernel's own path walk, so nothing can change between a check
    // and the open.
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    const long fd = ::syscall(SYS_openat2, AT_FDCWD, relativeName.c_str(), &how, sizeof how);
    if (fd < 0) return false;
    struct stat info {};
    if (::fstat(static_cast<int>(fd), &info) != 0 || !S_ISREG(info.st_mode) ||
        (file = ::fdopen(static_cast<int>(fd), "rb")) == nullptr) {
        ::close(static_cast<int>(fd));
        return false;
    }
    return true;
}

bool fileSize(std::FILE* file, uint64_t& size) {
    struct stat info {};
    if (::fstat(::fileno(file), &info) != 0) return false;
    size = static_cast<uint64_t>(info.st_size);
    return true;
}

bool flushToDisk(std::FILE* file) {
    return std::fflush(file) == 0 && ::fsync(::fileno(file)) == 0;
}

bool cutFile(const std::string& name, uint64_t size) {
    const int fd = ::open(name.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    const bool cut = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
    return ::close(fd) == 0 && cut;
}

bool isSymbolicLink(const std::string& name) {
    struct stat info {};
    return ::lstat(name.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

}  // namespace platform
