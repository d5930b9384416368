// File primitives for the files the server writes and reads in its data folder
// (the working directory). Every function answers true when it did its whole
// job and false otherwise, leaving errno-style details to the platform.
//
// Names are plain relative or absolute paths. None of the functions follows a
// symbolic link at the final name: a link there makes the call fail, so no
// file outside the data folder is ever written through one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace platform {

// The line end of the text files the server writes ("W&B.txt"), as a text-mode
// stream writes it on this system. Every reader of them accepts an optional CR.
#ifdef _WIN32
inline constexpr char TEXT_LINE_END[] = "\r\n";
#else
inline constexpr char TEXT_LINE_END[] = "\n";
#endif

// Makes `data` the whole new content of `name`: written to a temporary file in
// the same folder with every write checked, flushed to disk, closed, then
// renamed over `name`. On any failure the temporary file is removed and `name`
// keeps its old content. Fails when `name` is a symbolic link.
bool writeFileDurably(const std::string& name, const void* data, size_t size);

// Opens `name` for appending in binary mode, creating it if missing.
bool openForAppending(const std::string& name, std::FILE*& file);
// Opens `name` for writing in binary mode, emptied first, creating it if missing.
bool openForWriting(const std::string& name, std::FILE*& file);
// Opens `name` for reading in binary mode when it resolves inside the working
// directory: a relative name whose `..` and symbolic links stay inside it.
bool openForReadingInside(const std::string& relativeName, std::FILE*& file);

// The size of an open file, its buffered bytes not counted.
bool fileSize(std::FILE* file, uint64_t& size);
// Flushes the stream's buffer and then the file's bytes to the disk.
bool flushToDisk(std::FILE* file);
// Cuts the file `name` back to `size` bytes (nothing when it is a link).
bool cutFile(const std::string& name, uint64_t size);

// True when `name` itself is a symbolic link; used to say why a call failed.
bool isSymbolicLink(const std::string& name);

}  // namespace platform
