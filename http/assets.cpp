#include "http/assets.h"

const Asset* findAsset(std::string_view path) {
    if (path == "/") path = "/index.html";
    for (unsigned i = 0; i < consoleAssetCount; ++i) {
        if (path == consoleAssets[i].path) return &consoleAssets[i];
    }
    return nullptr;
}
