#include "platform/posix/wine_prefix_registry.h"

#include <cstdio>
#include <memory>

namespace compenv {

namespace {

HiveByteSource OpenHiveFile(const std::string& path) {
    if (path.empty()) {
        return nullptr;
    }
    std::shared_ptr<FILE> file(std::fopen(path.c_str(), "rb"), [](FILE* f) {
        if (f) {
            std::fclose(f);
        }
    });
    if (!file) {
        return nullptr;
    }
    return
        [file](char* buffer, std::size_t size) { return std::fread(buffer, 1, size, file.get()); };
}

}  // namespace

WinePrefixRegistry::WinePrefixRegistry(const std::string& hivePath, const std::string& subtree)
    : WineHiveRegistry([hivePath] { return OpenHiveFile(hivePath); }, subtree) {}

}  // namespace compenv
