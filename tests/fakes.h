#pragma once

// In-memory stand-ins for the platform services, for tests of the core.

#include <map>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/registry.h"

namespace compenv::testing {

struct FakeValue {
    std::uint32_t Type = kRegSz;
    std::string Bytes;  // as the ANSI query returns them, terminator included
};

// A string value as stored: the text followed by its terminating zero.
FakeValue StringValue(const std::string& text, std::uint32_t type = kRegSz);

class FakeRegistry : public Registry {
public:
    std::map<std::string, std::map<std::string, FakeValue>> Keys;
    bool FailDataRead = false;  // the second query fails after the size query worked
    int OpenKeys = 0;           // keys opened and not yet closed
    int Opens = 0;

    std::unique_ptr<RegistryKey> OpenLocalMachineKey(const std::string& path) override;
};

struct FakeFile {
    std::string Content;
    bool Locked = false;  // held open by another process without sharing
};

class FakeFileSystem : public FileSystem {
public:
    std::map<std::string, FakeFile> Files;
    std::size_t WriteLimit = std::string::npos;  // bytes a write gets through (a full disk)
    bool CaseSensitive = true;
    int OpenFiles = 0;
    std::vector<std::string>* Events = nullptr;  // gets "save NAME" on each creation

    CreateFileResult CreateOrTruncate(const std::string& name) override;
    std::string FullPath(const std::string& name) override { return "/work/" + name; }
    bool NamesAreCaseSensitive() const override { return CaseSensitive; }
};

// Records everything in one event list, so tests can check the order of output,
// waiting and saving.
class FakeConsole : public Console {
public:
    std::string Output;
    std::vector<std::string>* Events = nullptr;

    void WriteLine(const std::string& text) override;
    void WaitForEnter() override;
};

class FakeProcess : public Process {
public:
    std::vector<std::string> Args{"compenv"};
    std::string Path = "C:\\Build\\compenv.exe";

    std::vector<std::string> Arguments() const override { return Args; }
    std::string ExecutablePath() const override { return Path; }
};

}  // namespace compenv::testing
