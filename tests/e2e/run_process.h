#pragma once

#include <string>
#include <vector>

namespace compenv::testing {

struct ProcessResult {
    int ExitStatus = -1;  // -1 when killed or not started
    std::string Output;   // standard output, bytes as written
    long MaxRssKiB = 0;   // peak resident memory of the child
};

struct ProcessOptions {
    std::string WorkingDirectory;
    std::vector<std::string> Environment;  // NAME=VALUE pairs added to the test's own
    std::string Input;                     // written to standard input, then closed
    std::string InputAfter;                // if set, Input waits until stdout shows this
    bool CloseStdout = false;              // start with standard output closed
    bool CloseStdin = false;               // start with standard input closed
    bool ReadNoOutput = false;             // close the reading end of stdout at once
    int TimeoutSeconds = 60;
};

// Runs `argv` and waits for it, killing it after the timeout.
ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options);

}  // namespace compenv::testing
