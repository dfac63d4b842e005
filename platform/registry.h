#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace compenv {

// Registry value types, with the numbers Windows gives them.
enum RegistryValueType : std::uint32_t {
    kRegNone = 0,
    kRegSz = 1,
    kRegExpandSz = 2,
    kRegBinary = 3,
    kRegDword = 4,
    kRegMultiSz = 7,
};

// Type and byte size of a value, as the ANSI registry query reports them: for the
// string types the size counts ANSI bytes, the stored terminating zero included.
struct RegistryValueInfo {
    std::uint32_t Type = kRegNone;
    std::uint32_t Size = 0;
};

// Type and bytes of a value read into a buffer of a given size.
struct RegistryValueData {
    std::uint32_t Type = kRegNone;
    std::string Bytes;
};

// An open registry key. Destroying it closes the key.
class RegistryKey {
public:
    virtual ~RegistryKey() = default;

    // The value's type and size, or nothing when the value does not exist or
    // cannot be queried.
    virtual std::optional<RegistryValueInfo> QueryValueInfo(const std::string& name) = 0;

    // The value read into a buffer of `bufferSize` bytes, or nothing when the read
    // fails (the value vanished, or no longer fits the buffer).
    virtual std::optional<RegistryValueData> QueryValueData(const std::string& name,
                                                            std::uint32_t bufferSize) = 0;
};

// Read-only access to the keys below HKEY_LOCAL_MACHINE, as a 32-bit process sees them.
class Registry {
public:
    virtual ~Registry() = default;

    // Opens `path` (elements joined by backslashes, no leading backslash) for
    // reading. Returns null when the key does not exist or cannot be opened; it is
    // never created.
    virtual std::unique_ptr<RegistryKey> OpenLocalMachineKey(const std::string& path) = 0;
};

}  // namespace compenv
