#include "platform/wine_hive.h"

#include <gtest/gtest.h>

namespace compenv {
namespace {

// A byte source over `text` that hands out at most `chunk` bytes a call, so line
// ends fall on buffer boundaries too.
HiveByteSource TextSource(std::string text, std::size_t chunk = 7) {
    auto offset = std::make_shared<std::size_t>(0);
    return [text = std::move(text), offset, chunk](char* buffer, std::size_t size) {
        const std::size_t n = std::min({size, chunk, text.size() - *offset});
        text.copy(buffer, n, *offset);
        *offset += n;
        return n;
    };
}

struct Lookup {
    bool keyFound = false;
    std::optional<RegistryValueInfo> info;
    std::optional<RegistryValueData> data;
};

Lookup Find(const std::string& hive, const std::string& keyPath,
            const std::string& value = "RootDir") {
    WineHiveRegistry registry([&] { return TextSource(hive); }, "Software\\Borland");
    Lookup lookup;
    const auto key = registry.OpenLocalMachineKey(keyPath);
    if (!key) {
        return lookup;
    }
    lookup.keyFound = true;
    lookup.info = key->QueryValueInfo(value);
    if (lookup.info) {
        lookup.data = key->QueryValueData(value, lookup.info->Size);
    }
    return lookup;
}

const std::string kWin64 =
    "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n\n";
const std::string kDelphi7 =
    "[Software\\\\Wow6432Node\\\\Borland\\\\Delphi\\\\7.0] 1797002787\n#time=1dd8983fd63551c\n";
const char* const kKey = "Software\\Borland\\Delphi\\7.0";

TEST(WineHiveRegistry, ReportsValuesAsTheAnsiQueryDoes) {
    struct Case {
        const char* name;
        std::string valueLine;
        std::uint32_t type;
        std::string bytes;  // what the query returns; its size is the reported size
    };
    const Case cases[] = {
        {"string", R"("RootDir"="C:\\Program Files\\D7\\")", kRegSz,
         std::string("C:\\Program Files\\D7\\") + '\0'},
        {"empty string", R"("RootDir"="")", kRegSz, std::string("\0", 1)},
        {"expandable", R"("RootDir"=str(2):"%ProgramFiles%\\D7")", kRegExpandSz,
         std::string("%ProgramFiles%\\D7\0", 18)},
        {"str: form", R"("RootDir"=str:"C:\\D7")", kRegSz, std::string("C:\\D7\0", 6)},
        {"string list", R"("RootDir"=str(7):"a\0b\0")", kRegMultiSz, std::string("a\0b\0\0", 5)},
        {"embedded zero", R"("RootDir"="C:\\D7\0junk")", kRegSz, std::string("C:\\D7\0junk\0", 11)},
        {"escapes", R"("RootDir"="\"q\" \a\b\e\f\n\r\t\v \101\60\0601 \x41\x20ac\x00e91 \z")",
         kRegSz,
         std::string("\"q\" \a\b\x1B\f\n\r\t\v A00"
                     "1 A\x80\xE9"
                     "1 z") +
             '\0'},
        {"latin-1 and beyond, from UTF-8",
         "\"RootDir\"=\"C:\\\\\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD\xF0\x9F\x98\x80\xFF\"", kRegSz,
         std::string("C:\\\xE9\x80????") + '\0'},
        {"number", "\"RootDir\"=dword:0000002a", kRegDword, std::string("\x2A\0\0\0", 4)},
        {"binary", "\"RootDir\"=hex:43,3a,5c", kRegBinary, "C:\\"},
        {"empty binary", "\"RootDir\"=hex:", kRegBinary, ""},
        {"raw string, zero length", "\"RootDir\"=hex(1):", kRegSz, ""},
        {"raw string, unterminated", "\"RootDir\"=hex(1):43,00,3a,00,5c,00,44,00,37,00", kRegSz,
         "C:\\D7"},
        {"raw string, odd length", "\"RootDir\"=hex(1):43,00,3a", kRegSz, "C"},
        {"raw expandable over continuation lines",
         "\"RootDir\"=hex(2):25,00,58,00,\\\n  25,00,5c,00,\\\n\t44,00,00,00", kRegExpandSz,
         std::string("%X%\\D\0", 6)},
        {"other type", "\"RootDir\"=hex(b):01,02,03,04,05,06,07,08", 11,
         "\x01\x02\x03\x04\x05\x06\x07\x08"},
        {"malformed: kept as an empty REG_NONE", "\"RootDir\"=bogus", kRegNone, ""},
        {"malformed hex", "\"RootDir\"=hex:4g", kRegNone, ""},
        {"unterminated string", "\"RootDir\"=\"C:\\\\D7", kRegNone, ""},
        {"name in another case", "\"rootdir\"=\"C:\\\\D7\"", kRegSz, std::string("C:\\D7\0", 6)},
        {"CR LF line end", "\"RootDir\"=\"C:\\\\D7\"\r", kRegSz, std::string("C:\\D7\0", 6)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Lookup lookup = Find(kWin64 + kDelphi7 + c.valueLine + "\n\n", kKey);
        ASSERT_TRUE(lookup.keyFound);
        ASSERT_TRUE(lookup.info);
        EXPECT_EQ(lookup.info->Type, c.type);
        EXPECT_EQ(lookup.info->Size, c.bytes.size());
        ASSERT_TRUE(lookup.data);
        EXPECT_EQ(lookup.data->Type, c.type);
        EXPECT_EQ(lookup.data->Bytes, c.bytes);
    }
}

TEST(WineHiveRegistry, FindsKeysAsA32BitProcessWould) {
    struct Case {
        const char* name;
        std::string hive;
        const char* keyPath;
        bool found;
    };
    const std::string value = "\"RootDir\"=\"C:\\\\D7\"\n";
    const std::string win32 = "WINE REGISTRY Version 2\n#arch=win32\n";
    const Case cases[] = {
        {"win64: the 32-bit view", kWin64 + kDelphi7 + value, kKey, true},
        {"win64: a key in the 64-bit view only",
         kWin64 + "[Software\\\\Borland\\\\Delphi\\\\7.0]\n" + value, kKey, false},
        {"win32: keys as written", win32 + "[Software\\\\Borland\\\\Delphi\\\\7.0] 1\n" + value,
         kKey, true},
        {"no #arch line: keys as written",
         "WINE REGISTRY Version 2\n[Software\\\\Borland\\\\Delphi\\\\7.0]\n" + value, kKey, true},
        {"any letter case",
         kWin64 + "[SOFTWARE\\\\wow6432node\\\\borland\\\\DELPHI\\\\7.0]\n" + value,
         "software\\BORLAND\\delphi\\7.0", true},
        {"key line without a time",
         kWin64 + "[Software\\\\Wow6432Node\\\\Borland\\\\Delphi\\\\7.0]\n" + value, kKey, true},
        {"#arch after the first key does not count",
         "WINE REGISTRY Version 2\n[Software\\\\Borland\\\\Delphi\\\\7.0]\n" + value +
             "#arch=win64\n",
         kKey, true},
        {"CR LF lines",
         "WINE REGISTRY Version "
         "2\r\n#arch=win64\r\n[Software\\\\Wow6432Node\\\\Borland\\\\Delphi\\\\7.0] 1\r\n" +
             value,
         kKey, true},
        {"values go with their own key",
         kWin64 + kDelphi7 + "[Software\\\\Wow6432Node\\\\Borland\\\\Delphi\\\\6.0]\n" + value,
         kKey, false},
        {"values after an unreadable key line are dropped",
         kWin64 + kDelphi7 + "[Software\\\\Wow6432Node\\\\Borland\\\\Delphi\\\\7.0\n" + value, kKey,
         false},
        {"no header", "REGEDIT4\n" + kDelphi7 + value, kKey, false},
        {"header not on the first line", "\n" + kWin64 + kDelphi7 + value, kKey, false},
        {"empty file", "", kKey, false},
        // Key lines are skipped early by their plain characters; escapes still count.
        {"escapes in the path",
         kWin64 + "[\\x53oftware\\\\Wow6432Node\\\\Bor\\154and\\\\Delphi\\\\7.0]\n" + value, kKey,
         true},
        {"a longer name that starts alike",
         kWin64 + "[Software\\\\Wow6432Node\\\\BorlandX\\\\Delphi\\\\7.0]\n" + value, kKey, false},
        {"an escape inside the subtree's name",
         kWin64 + "[Software\\\\Wow6432Node\\\\Borl\\x61nd\\\\Delphi\\\\7.0]\n" + value, kKey,
         true},
        {"an escape that spells another name",
         kWin64 + "[Software\\\\Wow6432Node\\\\Borl\\x62nd\\\\Delphi\\\\7.0]\n" + value, kKey,
         false},
        {"escaped bracket in a name",
         kWin64 + "[Software\\\\Wow6432Node\\\\Borland\\\\Delphi\\\\7\\]0]\n" + value,
         "Software\\Borland\\Delphi\\7]0", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Lookup lookup = Find(c.hive, c.keyPath);
        EXPECT_EQ(lookup.keyFound && lookup.info.has_value(), c.found);
    }
}

TEST(WineHiveRegistry, SkipsMalformedLinesAndGoesOn) {
    const std::string hive = kWin64 + "garbage line\n[unterminated\n\"stray\"=\"value\"\n" +
                             kDelphi7 + "\"Other\"=hex:zz\n\"RootDir\n\"RootDir\"=\"C:\\\\D7\"\n";
    const Lookup lookup = Find(hive, kKey);
    ASSERT_TRUE(lookup.data);
    EXPECT_EQ(lookup.data->Bytes, std::string("C:\\D7\0", 6));
}

TEST(WineHiveRegistry, KeepsAHexValueCutShortAsMalformed) {
    // The continuation a hex value's last line promises never comes: the file ends
    // (a truncated system.reg), or the next line is too long to keep.
    struct Case {
        const char* name;
        std::string rest;  // from the value line to the end of the file
        bool laterValueFound;
    };
    const std::string overlong(17 * 1024 * 1024, '0');
    const Case cases[] = {
        {"end of file after the backslash", "\"RootDir\"=hex:43,\\\n", false},
        {"end of file at the backslash", "\"RootDir\"=hex(2):43,00,\\", false},
        {"end of file after two continuations", "\"RootDir\"=hex:43,\\\n  3a,\\\n", false},
        {"overlong continuation line", "\"RootDir\"=hex:43,\\\n" + overlong + "\n\"Later\"=\"x\"\n",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string hive = kWin64 + kDelphi7 + c.rest;
        WineHiveRegistry registry([&] { return TextSource(hive, 1 << 16); }, "Software\\Borland");
        const auto key = registry.OpenLocalMachineKey(kKey);
        ASSERT_NE(key, nullptr);
        const auto info = key->QueryValueInfo("RootDir");
        ASSERT_TRUE(info);
        EXPECT_EQ(info->Type, kRegNone);
        EXPECT_EQ(info->Size, 0u);
        EXPECT_EQ(key->QueryValueInfo("Later").has_value(), c.laterValueFound);
    }
}

TEST(WineHiveRegistry, ReadsTheHiveOnceAndOnlyWhenAsked) {
    int opens = 0;
    const std::string hive = kWin64 + kDelphi7 + "\"RootDir\"=\"C:\\\\D7\"\n";
    WineHiveRegistry registry(
        [&] {
            ++opens;
            return TextSource(hive);
        },
        "Software\\Borland");
    EXPECT_EQ(opens, 0);
    EXPECT_EQ(registry.OpenLocalMachineKey("Software\\Microsoft\\Windows"), nullptr);
    EXPECT_EQ(opens, 0) << "a key outside the subtree needs no hive";
    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(registry.OpenLocalMachineKey(kKey), nullptr);
        EXPECT_EQ(registry.OpenLocalMachineKey("Software\\Borland\\Delphi\\6.0"), nullptr);
    }
    EXPECT_EQ(opens, 1);
}

TEST(WineHiveRegistry, NoHiveMeansNothingInstalled) {
    WineHiveRegistry registry([] { return HiveByteSource(); }, "Software\\Borland");
    EXPECT_EQ(registry.OpenLocalMachineKey(kKey), nullptr);
}

TEST(WineHiveRegistry, ValueDataNeedsABufferOfTheReportedSize) {
    WineHiveRegistry registry(
        [&] { return TextSource(kWin64 + kDelphi7 + "\"RootDir\"=\"C:\\\\D7\"\n"); },
        "Software\\Borland");
    const auto key = registry.OpenLocalMachineKey(kKey);
    ASSERT_NE(key, nullptr);
    EXPECT_FALSE(key->QueryValueData("RootDir", 5));
    EXPECT_TRUE(key->QueryValueData("RootDir", 6));
    EXPECT_FALSE(key->QueryValueInfo("Missing"));
}

TEST(WineHiveRegistry, SkipsOverlongLinesWithoutHoldingThem) {
    const std::string longLine = "\"Big\"=\"" + std::string(17 * 1024 * 1024, 'x') + "\"\n";
    const std::string hive = kWin64 + kDelphi7 + longLine + "\"RootDir\"=\"C:\\\\D7\"\n";
    WineHiveRegistry registry([&] { return TextSource(hive, 1 << 16); }, "Software\\Borland");
    const auto key = registry.OpenLocalMachineKey(kKey);
    ASSERT_NE(key, nullptr);
    EXPECT_FALSE(key->QueryValueInfo("Big"));
    EXPECT_TRUE(key->QueryValueInfo("RootDir"));
}

}  // namespace
}  // namespace compenv
