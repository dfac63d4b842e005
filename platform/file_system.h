#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace compenv {

// An output file open for writing, not shared with other writers while open.
// Destroying it closes the file.
class OutputFile {
public:
    virtual ~OutputFile() = default;

    // Writes `bytes` at the current position; returns how many were written
    // (fewer than asked on a failure such as a full disk).
    virtual std::size_t Write(const std::string& bytes) = 0;

    // Cuts the file to zero length; failures are ignored.
    virtual void Truncate() = 0;
};

// Result of creating an output file: the file, or the system's reason for failing.
struct CreateFileResult {
    std::unique_ptr<OutputFile> File;  // null on failure
    std::string FailureReason;         // the system's text for the error, as it gives it
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Creates `name` or truncates it when it exists. A relative name is taken
    // relative to the current directory. An existing file is left untouched when
    // the creation fails (locked by another process, read-only, missing directory).
    virtual CreateFileResult CreateOrTruncate(const std::string& name) = 0;

    // `name` as a full path, for messages; `name` itself when it cannot be expanded.
    virtual std::string FullPath(const std::string& name) = 0;

    // True when file names that differ only in letter case name different files.
    virtual bool NamesAreCaseSensitive() const = 0;
};

}  // namespace compenv
