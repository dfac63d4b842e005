#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/registry.h"

namespace compenv {

// Every key the locator reads lies below this path under HKEY_LOCAL_MACHINE.
extern const char* const kCompilerRegistryRoot;

// One compiler option, decoded.
struct CompilerRequest {
    std::int32_t Version = 0;     // the number written in the option
    std::int32_t KeyVersion = 0;  // the number that names the registry key
    std::string KeyPath;          // below HKEY_LOCAL_MACHINE, no leading backslash
    std::string VarName;          // the environment variable, e.g. "cmpD7"
};

// Reads a compiler version number: leading blanks, an optional sign, then decimal
// digits within the signed 32-bit range, or a hexadecimal number after "$", "X"
// or "0X" (digits 0-9 and A-F) that fits in 32 bits and is taken as signed.
// Nothing may follow. Returns nothing when `text` is malformed.
std::optional<std::int32_t> ParseVersionNumber(const std::string& text);

// Decodes an upper-cased compiler option: "-D" with the number from the third
// character on, or "-B" with the number from the fifth character on (the third
// and fourth are skipped whatever they are). Raises ToolError when the number is
// malformed.
CompilerRequest DecodeCompilerOption(const std::string& arg);

// The install directory recorded in value "RootDir" of `keyPath`, with one trailing
// backslash removed; empty when the compiler is not installed (no key, no value, an
// empty value). Raises ToolError "Invalid data type for 'RootDir'" for a value that
// is not a string, and "Failed to get data for 'RootDir'" when the value cannot be
// read after its size was. The key is closed on every path.
std::string ReadRootDir(Registry& registry, const std::string& keyPath);

}  // namespace compenv
