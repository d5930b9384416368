// The console's files, embedded into the executable at build time.
#pragma once

#include <cstddef>
#include <string_view>

struct Asset {
    const char* path;  // URL path, e.g. "/index.html"
    const char* contentType;
    const char* etag;  // quoted, as sent in the ETag header
    const unsigned char* data;
    size_t size;
};

extern const Asset consoleAssets[];
extern const unsigned consoleAssetCount;

// The asset served at path ("/" is "/index.html"), or nullptr.
const Asset* findAsset(std::string_view path);
