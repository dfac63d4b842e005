// Reading a Wine registry file.
//
// The input is the whole file. A few fixed compiler keys are looked up through the
// registry the native tool uses, and what is found must be something the file can
// mean:
//  - the file is read the same however the source hands out its bytes, and the same
//    with keys outside the subtree (or just beside it) appended after a complete last
//    line: their values go nowhere else;
//  - a key found has a key line naming it (in the Wow6432Node form when the file says
//    "#arch=win64"), the file starts with the Wine header, and a value found has a
//    line naming it, in any letter case and through any escape the syntax has;
//  - a type outside the fixed ones needs a typed form ("hex(N):", "str(N):") in the
//    file; without one, a string always carries its terminating zero and a number is
//    four bytes;
//  - the reported size is the number of bytes read, a smaller buffer fails, and a
//    string has one ANSI byte per UTF-16 unit, ASCII and Latin-1 unchanged;
//  - reading RootDir as the tool does gives the string before its first zero, or
//    refuses a type that is not a string; never "Failed to get data".
// Run with -rss_limit_mb=256: a small file must not take unbounded memory.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/tool_error.h"
#include "fuzz/fuzz_check.h"
#include "locator/compiler_locator.h"
#include "platform/ansi_code_page.h"
#include "platform/wine_hive.h"

namespace {

using compenv::HiveByteSource;
using compenv::HiveKey;
using compenv::HiveValue;
using compenv::WineHive;
using compenv::fuzz::Check;
using compenv::fuzz::Fail;

const char* const kSubtree = "Software\\Borland";
const char* const kWow64Subtree = "Software\\Wow6432Node\\Borland";
const char* const kValueName = "RootDir";

// Keys below kSubtree, as the tool asks for them.
const char* const kKeys[] = {
    "Software\\Borland\\Delphi\\7.0",
    "Software\\Borland\\BDS\\5.0",
    "Software\\Borland\\C++Builder\\6.0",
    "Software\\Borland",
};

std::string Wow64Form(const std::string& path) {
    return kWow64Subtree + path.substr(std::strlen(kSubtree));
}

HiveByteSource BytesSource(const std::uint8_t* data, std::size_t size, std::size_t chunk) {
    auto offset = std::make_shared<std::size_t>(0);
    return [data, size, chunk, offset](char* buffer, std::size_t room) {
        const std::size_t n = std::min({room, chunk, size - *offset});
        std::memcpy(buffer, data + *offset, n);
        *offset += n;
        return n;
    };
}

std::u16string Utf16(const std::string& ascii) { return compenv::AnsiToUtf16(ascii); }

char UpperAscii(std::uint32_t unit) {
    return unit >= 'a' && unit <= 'z' ? static_cast<char>(unit - 0x20) : static_cast<char>(unit);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Whether `text` at `pos` spells the ASCII string `target` (letters in any case) in
// the file's escaped-string syntax, followed by the unescaped `terminator`. A
// character may be written as itself, as a backslash and itself, as \x and up to four
// hex digits, or as a backslash and up to three octal digits; \a \b \e \f \n \r \t \v
// are control characters. Bytes from 0x80 up are never ASCII.
bool SpellsAt(const std::string& text, std::size_t pos, const std::string& target,
              char terminator) {
    for (const char wanted : target) {
        if (pos >= text.size() || text[pos] == terminator ||
            static_cast<unsigned char>(text[pos]) >= 0x80) {
            return false;
        }
        std::uint32_t unit = static_cast<unsigned char>(text[pos]);
        ++pos;
        if (unit == '\\' && pos < text.size()) {
            const char escape = text[pos++];
            if (escape == 'x') {
                unit = 0;
                int digits = 0;
                for (; digits < 4 && pos < text.size() && HexDigit(text[pos]) >= 0; ++digits) {
                    unit = unit * 16 + static_cast<std::uint32_t>(HexDigit(text[pos++]));
                }
                if (digits == 0) {
                    unit = 'x';
                }
            } else if (escape >= '0' && escape <= '7') {
                unit = static_cast<std::uint32_t>(escape - '0');
                for (int digits = 1;
                     digits < 3 && pos < text.size() && text[pos] >= '0' && text[pos] <= '7';
                     ++digits) {
                    unit = unit * 8 + static_cast<std::uint32_t>(text[pos++] - '0');
                }
            } else if (std::strchr("abefnrtv", escape) != nullptr ||
                       static_cast<unsigned char>(escape) >= 0x80) {
                return false;  // a control character or a non-ASCII one
            } else {
                unit = static_cast<unsigned char>(escape);
            }
        }
        if (UpperAscii(unit) != UpperAscii(static_cast<unsigned char>(wanted))) {
            return false;
        }
    }
    return pos < text.size() && text[pos] == terminator;
}

// Whether `open`, then `target` spelled as above, then `close` occurs anywhere in
// the file (a superset of the lines that can name it).
bool FileSpells(const std::string& file, char open, const std::string& target, char close) {
    for (std::size_t pos = file.find(open); pos != std::string::npos;
         pos = file.find(open, pos + 1)) {
        if (SpellsAt(file, pos + 1, target, close)) {
            return true;
        }
    }
    return false;
}

// Whether the file has a line that is exactly "#arch=win64" (a CR before the LF
// allowed).
bool HasWin64Line(const std::string& file) {
    const std::string line = "\n#arch=win64";
    for (std::size_t pos = file.find(line); pos != std::string::npos;
         pos = file.find(line, pos + 1)) {
        const std::string rest = file.substr(pos + line.size(), 2);
        if (rest.empty() || rest[0] == '\n' || rest == "\r" || rest == "\r\n") {
            return true;
        }
    }
    return false;
}

// Key sections a file may end with that must not change the compiler keys: one
// beside the subtree (a longer name), one outside it, each with a RootDir value.
const char* const kUnrelatedKeys =
    "[Software\\\\BorlandX\\\\Delphi\\\\7.0]\n\"RootDir\"=\"appended\"\n"
    "[Software\\\\Other]\n\"RootDir\"=hex:41,42\n@=\"x\"\n";

// Whether the file ends with a whole line that does not continue on the next one,
// so lines appended after it are read as lines of their own.
bool EndsWithCompleteLine(const std::string& file) {
    if (file.empty() || file.back() != '\n') {
        return false;
    }
    std::size_t end = file.size() - 1;
    if (end > 0 && file[end - 1] == '\r') {
        --end;
    }
    return end == 0 || file[end - 1] != '\\';
}

bool IsStringType(std::uint32_t type) {
    return type == compenv::kRegSz || type == compenv::kRegExpandSz || type == compenv::kRegMultiSz;
}

bool SameKey(const HiveKey* a, const HiveKey* b) {
    if ((a == nullptr) != (b == nullptr)) {
        return false;
    }
    if (a == nullptr) {
        return true;
    }
    return std::equal(a->Values.begin(), a->Values.end(), b->Values.begin(), b->Values.end(),
                      [](const auto& x, const auto& y) {
                          return x.first == y.first && x.second.Type == y.second.Type &&
                                 x.second.Data == y.second.Data;
                      });
}

// The ANSI bytes of a string value against its UTF-16 units: one byte per unit,
// ASCII and Latin-1 kept, anything else a code page byte from 0x80 to 0x9F or '?'.
void CheckAnsiString(const std::string& bytes, const std::string& utf16) {
    Check(bytes.size() == utf16.size() / 2,
          "a string's size is not its count of UTF-16 units (an odd last byte dropped)");
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto unit =
            static_cast<std::uint32_t>(static_cast<unsigned char>(utf16[2 * i]) |
                                       static_cast<unsigned char>(utf16[2 * i + 1]) << 8);
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
            Check(byte == unit, "an ASCII or Latin-1 character changed in the ANSI string");
        } else {
            Check((byte >= 0x80 && byte < 0xA0) || byte == '?',
                  "a character outside Latin-1 became a byte it cannot be");
        }
    }
}

void CheckKey(const std::string& file, compenv::Registry& registry, const WineHive& hive,
              const std::string& path) {
    const auto key = registry.OpenLocalMachineKey(path);
    const std::string stored = hive.IsWin64() ? Wow64Form(path) : path;
    const HiveKey* raw = hive.FindKey(Utf16(stored));
    Check((key != nullptr) == (raw != nullptr), "the registry and the hive disagree on a key");
    if (!key) {
        return;
    }
    Check(file.rfind("WINE REGISTRY Version 2\n", 0) == 0 ||
              file.rfind("WINE REGISTRY Version 2\r\n", 0) == 0,
          "a key was found in a file without the Wine header");
    if (!FileSpells(file, '[', stored, ']')) {
        Fail("key found without a key line naming " + stored);
    }

    const auto info = key->QueryValueInfo(kValueName);
    for (const char* spelling : {"rootdir", "ROOTDIR"}) {
        const auto other = key->QueryValueInfo(spelling);
        Check(other.has_value() == info.has_value() &&
                  (!other || (other->Type == info->Type && other->Size == info->Size)),
              "a value name's letter case matters");
    }
    if (!info) {
        return;
    }
    Check(FileSpells(file, '"', kValueName, '"'), "value found without a line naming it");
    const auto rawValue = raw->Values.find(WineHive::FoldCase(Utf16(kValueName)));
    Check(rawValue != raw->Values.end(), "the registry found a value the hive does not hold");
    const HiveValue& storedValue = rawValue->second;

    const auto data = key->QueryValueData(kValueName, info->Size);
    Check(data.has_value(), "a value cannot be read into a buffer of its reported size");
    Check(data->Type == info->Type, "a value's type changed between sizing and reading");
    Check(data->Bytes.size() == info->Size, "a value's reported size is not its size");
    if (info->Size > 0) {
        Check(!key->QueryValueData(kValueName, info->Size - 1),
              "a value was read into a buffer smaller than its size");
    }

    const bool typedForms =
        file.find("hex(") != std::string::npos || file.find("str(") != std::string::npos;
    const std::uint32_t type = info->Type;
    if (!typedForms) {
        // Only "..."/str:"...", dword:, hex: and malformed (REG_NONE) values remain.
        Check(type == compenv::kRegNone || type == compenv::kRegSz || type == compenv::kRegBinary ||
                  type == compenv::kRegDword,
              "a value has a type no untyped form gives");
        Check(type != compenv::kRegSz || (!data->Bytes.empty() && data->Bytes.back() == '\0'),
              "a quoted string lost its terminating zero");
        Check(type != compenv::kRegDword || data->Bytes.size() == 4,
              "a dword: value is not four bytes");
        Check(type != compenv::kRegNone || data->Bytes.empty(), "a malformed value holds data");
    }
    if (IsStringType(type)) {
        CheckAnsiString(data->Bytes, storedValue.Data);
    } else {
        Check(data->Bytes == storedValue.Data, "a value that is not a string changed");
    }

    // RootDir as the tool reads it.
    try {
        const std::string dir = compenv::ReadRootDir(registry, path);
        Check(dir.find('\0') == std::string::npos, "a directory holds a zero byte");
        Check(data->Bytes.compare(0, dir.size(), dir) == 0,
              "a directory is not the start of the value's bytes");
        Check(dir.empty() || type == compenv::kRegSz || type == compenv::kRegExpandSz,
              "a directory was read from a value that is not a string");
    } catch (const compenv::ToolError& error) {
        Check(std::string(error.what()) == "Invalid data type for 'RootDir'",
              "reading RootDir from a hive failed otherwise than on its type");
        Check(type != compenv::kRegSz && type != compenv::kRegExpandSz && info->Size > 0,
              "a string RootDir was refused for its type");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string file(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> subtrees{kSubtree, kWow64Subtree};

    // Once whole, once in small chunks, so lines cross the reader's refills.
    const WineHive whole = WineHive::Read(BytesSource(data, size, size + 1), subtrees);
    const WineHive chunked = WineHive::Read(BytesSource(data, size, 1 + size % 13), subtrees);
    Check(whole.IsWin64() == chunked.IsWin64(), "#arch read differently in chunks");
    if (whole.IsWin64()) {
        Check(HasWin64Line(file), "win64 without an \"#arch=win64\" line");
    }
    for (const char* path : kKeys) {
        for (const std::string& form : {std::string(path), Wow64Form(path)}) {
            Check(SameKey(whole.FindKey(Utf16(form)), chunked.FindKey(Utf16(form))),
                  "a key read differently in chunks");
        }
    }
    if (EndsWithCompleteLine(file)) {
        const std::string longer = file + kUnrelatedKeys;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(longer.data());
        const WineHive appended =
            WineHive::Read(BytesSource(bytes, longer.size(), longer.size()), subtrees);
        Check(appended.IsWin64() == whole.IsWin64(), "appended keys changed #arch");
        for (const char* path : kKeys) {
            for (const std::string& form : {std::string(path), Wow64Form(path)}) {
                Check(SameKey(whole.FindKey(Utf16(form)), appended.FindKey(Utf16(form))),
                      "appending unrelated keys changed a compiler key");
            }
        }
    }
    Check(whole.FindKey(u"Software") == nullptr && whole.FindKey(u"Software\\Borlan") == nullptr,
          "a key outside the chosen subtrees was kept");

    compenv::WineHiveRegistry registry([&] { return BytesSource(data, size, 4096); }, kSubtree);
    for (const char* path : kKeys) {
        CheckKey(file, registry, whole, path);
    }
    return 0;
}
