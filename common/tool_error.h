#pragma once

#include <stdexcept>
#include <string>

namespace compenv {

// The one failure type of the tool. It carries a one-line message for the user,
// is raised where the failure is found, and is caught only by the driver, which
// prints the message and ends the run with exit status 1.
class ToolError : public std::runtime_error {
public:
    explicit ToolError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace compenv
