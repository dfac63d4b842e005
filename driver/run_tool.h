#pragma once

#include <string>

#include "platform/console.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/registry.h"

namespace compenv {

// Everything a run reaches outside itself.
struct RunServices {
    Process& process;
    Registry& registry;
    FileSystem& files;
    Console& console;
};

// Upper-cases the ASCII letters a to z; every other byte is unchanged.
std::string UpperCaseAscii(std::string text);

// Runs the tool over the process's arguments: collects a set line for every
// compiler option whose compiler is installed, lists the lines and waits for Enter
// in list mode, and writes the batch file. Every ToolError is caught here, its
// message printed as one line. Returns the exit status: 0 after a completed run,
// 1 after a reported failure (then nothing was written unless the save failed).
int RunTool(RunServices services);

}  // namespace compenv
