// Shared by the fuzz targets: a scratch working folder, a quiet log, checks, and a reader over the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// The server's log (standard output) to /dev/null unless EMG_FUZZ_LOG is set; findings go to standard error.
void quietLog();
// A fresh folder under TMPDIR (or /tmp) as the working folder, removed at exit.
void enterScratchDir(const std::string& prefix);
// Removes the scratch folder now (for targets that end without exit handlers).
void removeScratchDir();
// Removes every file of the working folder (between two inputs).
void clearScratchDir();
// Writes (or appends) bytes to a file of the working folder.
void writeFile(const char* name, const uint8_t* data, size_t size, bool append);
// Aborts with "fuzz: what" (a finding) unless the condition holds.
void check(bool condition, const char* what);

// Reads the input front to back; reads past the end give zeros and no bytes.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    size_t left() const { return size_; }
    uint8_t byte() { return size_ > 0 ? (--size_, *data_++) : 0; }
    // Up to count bytes; advances past them.
    const uint8_t* bytes(size_t count, size_t& got) {
        got = count < size_ ? count : size_;
        size_ -= got;
        return (data_ += got) - got;
    }

private:
    const uint8_t* data_;
    size_t size_;
};

}  // namespace fuzz

// The libFuzzer entry points every target defines.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
