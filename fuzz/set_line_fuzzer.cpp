// Writing the set line of a directory.
//
// The input is the directory, any bytes. Properties, for a few variable names:
//  - it is refused ("Invalid data for 'RootDir'") exactly when it holds a double
//    quote or a control character, and then no line is added;
//  - otherwise there is exactly one line: `set NAME=DIR` when DIR holds none of
//    & ^ < > |, else `set "NAME=DIR"`, and DIR is the input, byte for byte. So the
//    plain form never carries an operator cmd would act on, and the quoted form never
//    a quote that would end it early or a character that would break the line.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "common/tool_error.h"
#include "fuzz/fuzz_check.h"
#include "script/environment_script.h"

namespace {

using compenv::fuzz::Check;
using compenv::fuzz::Fail;
using compenv::fuzz::Printable;

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20; }

bool IsCmdOperator(char c) { return c != '\0' && std::strchr("&^<>|", c) != nullptr; }

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

void CheckSetLine(const std::string& name, const std::string& dir) {
    bool unsafe = false;  // no form of the line can carry it
    bool operators = false;
    for (const char c : dir) {
        unsafe = unsafe || c == '"' || IsControl(c);
        operators = operators || IsCmdOperator(c);
    }

    compenv::ScriptLines script;
    std::string line;
    try {
        line = compenv::FormatSetLine(name, dir);
    } catch (const compenv::ToolError& error) {
        Check(std::string(error.what()) == "Invalid data for 'RootDir'",
              "a directory was refused with the wrong message");
        if (!unsafe) {
            Fail("directory '" + Printable(dir) + "' was refused, yet a line can carry it");
        }
        try {
            compenv::AddSetLine(script, name, dir);
            Fail("AddSetLine took a directory FormatSetLine refuses");
        } catch (const compenv::ToolError&) {
        }
        Check(script.Lines.empty(), "a refused directory added a line");
        return;
    }
    if (unsafe) {
        Fail("directory '" + Printable(dir) + "' with a quote or control character gave '" +
             Printable(line) + "'");
    }

    // Exactly one line: nothing in it ends a line or is a control character.
    for (const char c : line) {
        Check(!IsControl(c), "a set line holds a control character");
    }

    const std::string plainHead = "set " + name + "=";
    const std::string quotedHead = "set \"" + name + "=";
    std::string written;
    if (StartsWith(line, quotedHead) && EndsWith(line, "\"")) {
        written = line.substr(quotedHead.size(), line.size() - quotedHead.size() - 1);
        Check(written.find('"') == std::string::npos, "a quoted set line holds a quote inside");
        Check(operators, "a directory without cmd operators was quoted");
    } else if (StartsWith(line, plainHead)) {
        written = line.substr(plainHead.size());
        for (const char c : written) {
            Check(!IsCmdOperator(c), "a plain set line holds a cmd operator");
        }
    } else {
        Fail("'" + Printable(line) + "' is neither form of a set line");
    }
    if (written != dir) {
        Fail("set line '" + Printable(line) + "' does not hold directory '" + Printable(dir) +
             "' as it is");
    }

    compenv::AddSetLine(script, name, dir);
    Check(script.Lines.size() == 1 && script.Lines[0] == line,
          "AddSetLine did not add the one line FormatSetLine gives");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string dir(reinterpret_cast<const char*>(data), size);
    for (const char* name : {"cmpD7", "cmpBCB6", "cmpD-2147483648"}) {
        CheckSetLine(name, dir);
    }
    return 0;
}
