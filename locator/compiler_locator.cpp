#include "locator/compiler_locator.h"

#include <cstring>

#include "common/tool_error.h"

namespace compenv {

const char* const kCompilerRegistryRoot = "Software\\Borland";

namespace {

const char* const kRootDirValue = "RootDir";

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

unsigned HexDigitValue(char c) {
    return c <= '9' ? static_cast<unsigned>(c - '0') : static_cast<unsigned>(c - 'A' + 10);
}

std::optional<std::uint32_t> ParseHexDigits(const std::string& text, std::size_t pos) {
    if (pos >= text.size()) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    int significantDigits = 0;
    for (; pos < text.size(); ++pos) {
        if (!IsHexDigit(text[pos])) {
            return std::nullopt;
        }
        if (value != 0 || text[pos] != '0') {
            if (++significantDigits > 8) {
                return std::nullopt;
            }
        }
        value = (value << 4) | HexDigitValue(text[pos]);
    }
    return value;
}

// Magnitude of a decimal number, capped just above the largest one that can fit.
std::optional<std::uint64_t> ParseDecimalDigits(const std::string& text, std::size_t pos) {
    if (pos >= text.size()) {
        return std::nullopt;
    }
    const std::uint64_t cap = std::uint64_t{1} << 32;
    std::uint64_t value = 0;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > cap) {
            value = cap;
        }
    }
    return value;
}

std::string Decimal(std::int32_t value) { return std::to_string(value); }

}  // namespace

std::optional<std::int32_t> ParseVersionNumber(const std::string& text) {
    std::size_t pos = 0;
    while (pos < text.size() && text[pos] == ' ') {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }

    std::size_t hexStart = std::string::npos;
    if (pos < text.size() && (text[pos] == '$' || text[pos] == 'X')) {
        hexStart = pos + 1;
    } else if (pos + 1 < text.size() && text[pos] == '0' && text[pos + 1] == 'X') {
        hexStart = pos + 2;
    }

    if (hexStart != std::string::npos) {
        const auto bits = ParseHexDigits(text, hexStart);
        if (!bits) {
            return std::nullopt;
        }
        // Unsigned arithmetic: negating 0x80000000 wraps to itself.
        const std::uint32_t result = negative ? 0u - *bits : *bits;
        return static_cast<std::int32_t>(result);
    }

    const auto magnitude = ParseDecimalDigits(text, pos);
    if (!magnitude) {
        return std::nullopt;
    }
    const std::uint64_t limit = negative ? std::uint64_t{2147483648u} : std::uint64_t{2147483647u};
    if (*magnitude > limit) {
        return std::nullopt;
    }
    const std::int64_t value =
        negative ? -static_cast<std::int64_t>(*magnitude) : static_cast<std::int64_t>(*magnitude);
    return static_cast<std::int32_t>(value);
}

CompilerRequest DecodeCompilerOption(const std::string& arg) {
    const bool delphi = arg.compare(0, 2, "-D") == 0;
    const std::size_t numberStart = delphi ? 2 : 4;
    const std::string number = arg.size() > numberStart ? arg.substr(numberStart) : std::string();
    const auto version = ParseVersionNumber(number);
    if (!version) {
        throw ToolError("Malformed compiler version in '" + arg + "'");
    }

    CompilerRequest request;
    request.Version = *version;
    std::string keyBase;
    std::string stem;
    if (delphi) {
        stem = "D";
        if (request.Version < 8) {
            keyBase = "Software\\Borland\\Delphi\\";
            request.KeyVersion = request.Version;
        } else {
            // Delphi 8 and later record themselves under the BDS key, numbered from 2.
            keyBase = "Software\\Borland\\BDS\\";
            request.KeyVersion = request.Version - 6;
        }
    } else {
        stem = "BCB";
        keyBase = "Software\\Borland\\C++Builder\\";
        request.KeyVersion = request.Version;
    }
    request.KeyPath = keyBase + Decimal(request.KeyVersion) + ".0";
    request.VarName = "cmp" + stem + Decimal(request.Version);
    return request;
}

std::string ReadRootDir(Registry& registry, const std::string& keyPath) {
    std::string text;
    {
        const auto key = registry.OpenLocalMachineKey(keyPath);
        if (!key) {
            return text;
        }
        const auto info = key->QueryValueInfo(kRootDirValue);
        if (!info || info->Size == 0) {
            return text;
        }
        const auto data = key->QueryValueData(kRootDirValue, info->Size);
        if (!data) {
            throw ToolError(std::string("Failed to get data for '") + kRootDirValue + "'");
        }
        if (data->Type != kRegSz && data->Type != kRegExpandSz) {
            throw ToolError(std::string("Invalid data type for '") + kRootDirValue + "'");
        }
        const auto zero = data->Bytes.find('\0');
        text = data->Bytes.substr(0, zero);
    }
    if (!text.empty() && text.back() == '\\') {
        text.pop_back();
    }
    return text;
}

}  // namespace compenv
