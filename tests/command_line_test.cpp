#include "platform/command_line.h"

#include <gtest/gtest.h>

namespace compenv {
namespace {

TEST(SplitCommandLine, SplitsAsTheWindowsRuntimeOfTheToolDoes) {
    using Args = std::vector<std::string>;
    struct Case {
        const char* line;
        Args expected;
    };
    const Case cases[] = {
        {"", {}},
        {"   ", {}},
        {"compenv", {"compenv"}},
        {"compenv -D7 -BCB6", {"compenv", "-D7", "-BCB6"}},
        {"  compenv\t-D7\x01-L  ", {"compenv", "-D7", "-L"}},
        {"\"C:\\Program Files\\compenv.exe\" -D7", {"C:\\Program Files\\compenv.exe", "-D7"}},
        {"compenv \"-D 7\"", {"compenv", "-D 7"}},
        {"compenv -F\"C:\\My Build\"\\env.bat", {"compenv", "-FC:\\My Build\\env.bat"}},
        // No escape character: the backslash stays, the quote opens a group.
        {"compenv -q\\\" x", {"compenv", "-q\\ x"}},
        {"compenv a\\\\\"b c\"", {"compenv", "a\\\\b c"}},
        // An empty pair standing alone yields no argument.
        {"compenv \"\" -D7", {"compenv", "-D7"}},
        {"compenv \"\"\"\" -D7", {"compenv", "-D7"}},
        {"compenv \"\"-D7", {"compenv", "-D7"}},
        {"compenv -D7\"\"", {"compenv", "-D7"}},
        // A quote left open runs to the end of the line.
        {"compenv \"-D7 -L", {"compenv", "-D7 -L"}},
        {"compenv \"", {"compenv", ""}},
        {"compenv \"\"\"", {"compenv", ""}},
        {"compenv \" \"", {"compenv", " "}},
        // Bytes from 0x80 up are ordinary.
        {"compenv -F\xE9t\xE9.bat \xA0", {"compenv", "-F\xE9t\xE9.bat", "\xA0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(SplitCommandLine(c.line), c.expected);
    }
}

}  // namespace
}  // namespace compenv
