#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace compenv {

// Fills `buffer` with up to `size` bytes of the hive file; returns how many, 0 at
// the end or on a read error.
using HiveByteSource = std::function<std::size_t(char* buffer, std::size_t size)>;

// A value as Wine holds it: string types as UTF-16LE bytes with their terminating
// zero unit, other types as raw bytes.
struct HiveValue {
    std::uint32_t Type = kRegNone;
    std::string Data;
};

struct HiveKey {
    std::map<std::u16string, HiveValue> Values;  // by case-folded name
};

// The keys of a Wine registry file ("WINE REGISTRY Version 2", such as a prefix's
// system.reg) that lie in chosen subtrees. The file is read once, as a stream; the
// keys outside the subtrees are skipped without being held.
class WineHive {
public:
    // Reads the hive from `source`, keeping the keys at or below each path in
    // `subtrees` (backslash-separated, any case). A source that does not start with
    // the Wine header gives an empty hive; a malformed line is skipped, and a
    // malformed value is kept as an empty value of type REG_NONE, as Wine does.
    static WineHive Read(const HiveByteSource& source, const std::vector<std::string>& subtrees);

    // True when the file says "#arch=win64" before its first key.
    bool IsWin64() const { return isWin64_; }

    // The key at `path` (backslash-separated, any case), or null.
    const HiveKey* FindKey(const std::u16string& path) const;

    // Upper-cases the letters of `text` for case-insensitive comparison.
    static std::u16string FoldCase(std::u16string text);

private:
    bool isWin64_ = false;
    std::map<std::u16string, HiveKey> keys_;  // by case-folded path
};

// The registry of HKEY_LOCAL_MACHINE in a Wine prefix, as a 32-bit Windows process
// in that prefix sees it through the ANSI functions: in a win64 prefix, keys below
// "Software" are looked up under "Software\Wow6432Node"; string data comes back in
// code page 1252 with sizes as Windows reports them. The hive is read on the first
// lookup, once.
class WineHiveRegistry : public Registry {
public:
    // `openHive` gives the byte source of the hive, or null when there is none (no
    // file, unreadable): then nothing is installed. Only keys below `subtree` are
    // ever found.
    WineHiveRegistry(std::function<HiveByteSource()> openHive, std::string subtree);

    std::unique_ptr<RegistryKey> OpenLocalMachineKey(const std::string& path) override;

private:
    const WineHive& Hive();

    std::function<HiveByteSource()> openHive_;
    std::string subtree_;
    std::u16string foldedSubtree_;  // subtree_ as keys are compared
    std::unique_ptr<WineHive> hive_;
};

}  // namespace compenv
