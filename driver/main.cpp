#include "driver/run_tool.h"
#include "locator/compiler_locator.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    const auto platform =
        compenv::CreatePlatformServices(argc, argv, compenv::kCompilerRegistryRoot);
    return compenv::RunTool({platform->GetProcess(), platform->GetRegistry(),
                             platform->GetFileSystem(), platform->GetConsole()});
}
