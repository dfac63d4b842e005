#pragma once

#include <string>
#include <vector>

namespace compenv {

// The running process.
class Process {
public:
    virtual ~Process() = default;

    // The arguments in order; element 0 names the program.
    virtual std::vector<std::string> Arguments() const = 0;

    // The full path of the running executable as the system reports it.
    virtual std::string ExecutablePath() const = 0;
};

}  // namespace compenv
