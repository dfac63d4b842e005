#pragma once

#include <memory>
#include <string>

#include "platform/console.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/registry.h"

namespace compenv {

// The services of the platform the tool runs on, one implementation per platform.
struct PlatformServices {
    virtual ~PlatformServices() = default;
    virtual Process& GetProcess() = 0;
    virtual Registry& GetRegistry() = 0;
    virtual FileSystem& GetFileSystem() = 0;
    virtual Console& GetConsole() = 0;
};

// Sets up the services of this platform. `argc` and `argv` are main's; a platform
// with its own command line (Windows) ignores them. Registry lookups stay below
// `registrySubtree` (a key path below HKEY_LOCAL_MACHINE); a platform that has to
// read a registry file may keep just that part of it.
std::unique_ptr<PlatformServices> CreatePlatformServices(int argc, char** argv,
                                                         const std::string& registrySubtree);

}  // namespace compenv
