#include "locator/compiler_locator.h"

#include <gtest/gtest.h>

#include "common/tool_error.h"
#include "fakes.h"

namespace compenv {
namespace {

using testing::FakeRegistry;
using testing::FakeValue;
using testing::StringValue;

TEST(ParseVersionNumber, AcceptsTheGrammarAndNothingElse) {
    struct Case {
        const char* text;
        std::optional<std::int32_t> expected;
    };
    const Case cases[] = {
        // decimal
        {"7", 7},
        {"0", 0},
        {"007", 7},
        {"+7", 7},
        {"-1", -1},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"   7", 7},
        {" -7", -7},
        // hexadecimal, each prefix
        {"$A", 10},
        {"XA", 10},
        {"0XA", 10},
        {"-$A", -10},
        {"+0X1F", 31},
        {"$FFFFFFFF", -1},
        {"$80000000", INT32_MIN},
        {"-$80000000", INT32_MIN},
        {"-$FFFFFFFF", 1},
        {"$00000000000A", 10},
        {"$100000000", std::nullopt},
        {" $7", 7},
        // malformed
        {"", std::nullopt},
        {" ", std::nullopt},
        {"-", std::nullopt},
        {"+", std::nullopt},
        {"$", std::nullopt},
        {"X", std::nullopt},
        {"0X", std::nullopt},
        {"- 7", std::nullopt},
        {"7 ", std::nullopt},
        {"7.0", std::nullopt},
        {"+-7", std::nullopt},
        {"\t7", std::nullopt},
        {"$G", std::nullopt},
        {"00X5", std::nullopt},
        {"1X", std::nullopt},
        {"$a", std::nullopt},  // callers upper-case first
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("text: \"") + c.text + "\"");
        EXPECT_EQ(ParseVersionNumber(c.text), c.expected);
    }
}

TEST(DecodeCompilerOption, MapsOptionsToKeysAndVariables) {
    struct Case {
        const char* arg;
        std::int32_t version;
        std::int32_t keyVersion;
        const char* keyPath;
        const char* varName;
    };
    const Case cases[] = {
        {"-D5", 5, 5, "Software\\Borland\\Delphi\\5.0", "cmpD5"},
        {"-D7", 7, 7, "Software\\Borland\\Delphi\\7.0", "cmpD7"},
        {"-D8", 8, 2, "Software\\Borland\\BDS\\2.0", "cmpD8"},
        {"-D9", 9, 3, "Software\\Borland\\BDS\\3.0", "cmpD9"},
        {"-D11", 11, 5, "Software\\Borland\\BDS\\5.0", "cmpD11"},
        {"-D$A", 10, 4, "Software\\Borland\\BDS\\4.0", "cmpD10"},
        {"-D-1", -1, -1, "Software\\Borland\\Delphi\\-1.0", "cmpD-1"},
        {"-D0", 0, 0, "Software\\Borland\\Delphi\\0.0", "cmpD0"},
        {"-D 7", 7, 7, "Software\\Borland\\Delphi\\7.0", "cmpD7"},
        {"-D-2147483648", INT32_MIN, INT32_MIN, "Software\\Borland\\Delphi\\-2147483648.0",
         "cmpD-2147483648"},
        {"-D2147483647", INT32_MAX, INT32_MAX - 6, "Software\\Borland\\BDS\\2147483641.0",
         "cmpD2147483647"},
        {"-BCB6", 6, 6, "Software\\Borland\\C++Builder\\6.0", "cmpBCB6"},
        {"-BXY6", 6, 6, "Software\\Borland\\C++Builder\\6.0", "cmpBCB6"},
        {"-BCB10", 10, 10, "Software\\Borland\\C++Builder\\10.0", "cmpBCB10"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arg);
        const CompilerRequest request = DecodeCompilerOption(c.arg);
        EXPECT_EQ(request.Version, c.version);
        EXPECT_EQ(request.KeyVersion, c.keyVersion);
        EXPECT_EQ(request.KeyPath, c.keyPath);
        EXPECT_EQ(request.VarName, c.varName);
    }
}

TEST(DecodeCompilerOption, RejectsMalformedNumbers) {
    for (const char* arg : {"-D", "-DX", "-D7.0", "-D2147483648", "-B", "-B6", "-BCB", "-BCB6X"}) {
        SCOPED_TRACE(arg);
        EXPECT_THROW(DecodeCompilerOption(arg), ToolError);
    }
}

const char* const kKey = "Software\\Borland\\Delphi\\7.0";

TEST(ReadRootDir, ReadsEachKindOfStoredValue) {
    struct Case {
        const char* name;
        std::optional<FakeValue> value;  // none: the value is missing
        std::string expected;
    };
    const Case cases[] = {
        {"plain directory", StringValue("C:\\Program Files\\Borland\\Delphi7"),
         "C:\\Program Files\\Borland\\Delphi7"},
        {"one trailing backslash removed", StringValue("C:\\Program Files\\Borland\\Delphi7\\"),
         "C:\\Program Files\\Borland\\Delphi7"},
        {"only one of two backslashes removed", StringValue("C:\\D7\\\\"), "C:\\D7\\"},
        {"drive root", StringValue("C:\\"), "C:"},
        {"a lone backslash is nothing", StringValue("\\"), ""},
        {"empty string (size 1)", StringValue(""), ""},
        {"zero-length value", FakeValue{kRegSz, ""}, ""},
        {"zero-length number", FakeValue{kRegDword, ""}, ""},
        {"cut at the first zero byte", FakeValue{kRegSz, std::string("C:\\D7\0junk\0", 11)},
         "C:\\D7"},
        {"no zero byte at all", FakeValue{kRegSz, "C:\\D7"}, "C:\\D7"},
        {"expandable string as stored", StringValue("%ProgramFiles%\\D7\\", kRegExpandSz),
         "%ProgramFiles%\\D7"},
        {"missing value", std::nullopt, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRegistry registry;
        auto& values = registry.Keys[kKey];
        if (c.value) {
            values["RootDir"] = *c.value;
        }
        EXPECT_EQ(ReadRootDir(registry, kKey), c.expected);
        EXPECT_EQ(registry.OpenKeys, 0) << "key left open";
    }
}

TEST(ReadRootDir, MissingKeyIsNotInstalled) {
    FakeRegistry registry;
    EXPECT_EQ(ReadRootDir(registry, kKey), "");
    EXPECT_EQ(registry.Opens, 1);
}

TEST(ReadRootDir, RaisesForUnreadableOrNonStringValuesAndClosesTheKey) {
    struct Case {
        const char* name;
        FakeValue value;
        bool failDataRead;
        const char* message;
    };
    const Case cases[] = {
        {"number", FakeValue{kRegDword, std::string("\x07\0\0\0", 4)}, false,
         "Invalid data type for 'RootDir'"},
        {"binary", FakeValue{kRegBinary, "C:\\D7"}, false, "Invalid data type for 'RootDir'"},
        {"string list", StringValue("C:\\D7\0", kRegMultiSz), false,
         "Invalid data type for 'RootDir'"},
        {"second read fails", StringValue("C:\\D7"), true, "Failed to get data for 'RootDir'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRegistry registry;
        registry.Keys[kKey]["RootDir"] = c.value;
        registry.FailDataRead = c.failDataRead;
        try {
            ReadRootDir(registry, kKey);
            ADD_FAILURE() << "no error raised";
        } catch (const ToolError& error) {
            EXPECT_STREQ(error.what(), c.message);
        }
        EXPECT_EQ(registry.OpenKeys, 0) << "key left open";
    }
}

}  // namespace
}  // namespace compenv
