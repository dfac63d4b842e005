#pragma once

#include <string>

#include "platform/wine_hive.h"

namespace compenv {

// The registry of the Wine prefix whose system.reg is at `hivePath`. A missing or
// unreadable file, or an empty path, is an empty registry.
class WinePrefixRegistry : public WineHiveRegistry {
public:
    WinePrefixRegistry(const std::string& hivePath, const std::string& subtree);
};

}  // namespace compenv
