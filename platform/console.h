#pragma once

#include <string>

namespace compenv {

// Standard output and standard input. Errors writing or reading are ignored.
class Console {
public:
    virtual ~Console() = default;

    // Writes `text` followed by CR LF, bytes unchanged.
    virtual void WriteLine(const std::string& text) = 0;

    // Makes all written lines visible, then reads one line from standard input and
    // discards it. Returns at the end of the line, at end of input or on an error.
    virtual void WaitForEnter() = 0;
};

}  // namespace compenv
