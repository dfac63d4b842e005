#pragma once

// What the end-to-end tests share: the tool under test, scratch directories, files.
//
// Environment:
//   COMPENV_E2E_EXE         the executable under test (default: the native build)
//   COMPENV_E2E_LAUNCHER    a program to start it with, such as wine64 (default: none)
//   COMPENV_E2E_PREFIX      the Wine prefix whose registry is read (default: the fixture)
//   COMPENV_E2E_WINDOWS     1 when the executable is a Windows build
//   COMPENV_E2E_NATIVE_EXE  with a Windows build: the native build, to compare against

#include <filesystem>
#include <string>
#include <vector>

#include "run_process.h"

namespace compenv::testing {

struct Tool {
    std::string exe;
    std::string launcher;
    bool windows = false;
};

// The value of an environment variable, or `fallback` when unset or empty.
std::string Env(const char* name, const std::string& fallback = "");

Tool ToolUnderTest();

// The Wine prefix the tests read, unless a test makes its own.
std::string FixturePrefix();

// The file's bytes, or "<none>" when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& text);

// A fresh directory, removed with everything in it afterwards.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Runs the tool with `args` in `dir`, reading the registry of `prefix`.
ProcessResult RunIn(const Tool& tool, const std::filesystem::path& dir, const std::string& prefix,
                    const std::vector<std::string>& args, ProcessOptions options = {});

// Makes a Wine prefix in `dir` whose system.reg is a win64 header followed by `body`;
// returns its path.
std::string MakePrefix(const std::filesystem::path& dir, const std::string& body);

// `path` as Wine's Windows programs name it (the Z: drive maps the Unix root).
std::string WindowsPath(const std::filesystem::path& path);

// Checks `output` is one "Cannot create file" line naming a full path that ends in
// `pathEnd`, with the system's reason trimmed of its final period.
void ExpectCreationFailure(const std::string& output, const std::string& pathEnd);

extern const char* const kHeaderText;

// The header line the native build writes, without its line end.
std::string NativeHeader(const std::string& exe);

}  // namespace compenv::testing
