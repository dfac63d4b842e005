// Compiler options and their version numbers.
//
// The input is the text after the option letters. Properties:
//  - ParseVersionNumber accepts the text exactly when the reference reading below
//    does, with the same value, and DecodeCompilerOption ("-D" and "-B??" forms)
//    accepts it likewise and names the key and variable of that version;
//  - a 32-bit value taken from the input, written in every form the syntax allows
//    (decimal, each hex prefix, signs, leading blanks and zeros), reads back as
//    itself.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/tool_error.h"
#include "fuzz/fuzz_check.h"
#include "locator/compiler_locator.h"

namespace {

using compenv::fuzz::Check;
using compenv::fuzz::Fail;
using compenv::fuzz::Printable;

// Reference reading of a version number, straight from its syntax:
//   number  = blank* [sign] (hex | decimal)
//   hex     = ("$" | "X" | "0X") hexdigit+   below 2^32; the bits are the value
//   decimal = digit+                         within int32 once signed
// Letters are upper case only (the option is upper-cased before it is read).
std::optional<std::int32_t> ReferenceParse(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    text.remove_prefix(first);
    bool negative = false;
    if (text.front() == '+' || text.front() == '-') {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    bool hex = false;
    for (const std::string_view prefix : {"$", "X", "0X"}) {
        if (text.substr(0, prefix.size()) == prefix) {
            hex = true;
            text.remove_prefix(prefix.size());
            break;
        }
    }
    const std::string_view alphabet = hex ? "0123456789ABCDEF" : "0123456789";
    if (text.empty() || text.find_first_not_of(alphabet) != std::string_view::npos) {
        return std::nullopt;
    }
    // Range by digit count once leading zeros are gone: at most 8 hex digits, and
    // at most 10 decimal ones, which a 64-bit sum holds exactly.
    const std::size_t significant = text.find_first_not_of('0');
    const std::string_view digits =
        significant == std::string_view::npos ? std::string_view() : text.substr(significant);
    if (digits.size() > (hex ? 8u : 10u)) {
        return std::nullopt;
    }
    std::uint64_t magnitude = 0;
    for (const char c : digits) {
        magnitude = magnitude * (hex ? 16u : 10u) + alphabet.find(c);
    }
    if (hex) {
        const auto bits = static_cast<std::uint32_t>(magnitude);
        return static_cast<std::int32_t>(negative ? ~bits + 1u : bits);
    }
    if (magnitude > (negative ? 2147483648u : 2147483647u)) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(magnitude)
                                              : static_cast<std::int64_t>(magnitude));
}

std::optional<compenv::CompilerRequest> Decode(const std::string& arg) {
    try {
        return compenv::DecodeCompilerOption(arg);
    } catch (const compenv::ToolError&) {
        return std::nullopt;
    }
}

// The request an option for `version` must give, by the key naming rules: Delphi up
// to 7 under Delphi\<n>.0, from 8 on under BDS\<n-6>.0; C++Builder under
// C++Builder\<n>.0.
void CheckRequest(const compenv::CompilerRequest& request, bool delphi, std::int32_t version,
                  const std::string& arg) {
    const std::string number = std::to_string(version);
    std::string keyPath;
    std::string varName;
    if (!delphi) {
        keyPath = "Software\\Borland\\C++Builder\\" + number + ".0";
        varName = "cmpBCB" + number;
    } else if (version < 8) {
        keyPath = "Software\\Borland\\Delphi\\" + number + ".0";
        varName = "cmpD" + number;
    } else {
        keyPath = "Software\\Borland\\BDS\\" + std::to_string(version - 6) + ".0";
        varName = "cmpD" + number;
    }
    if (request.Version != version || request.KeyPath != keyPath || request.VarName != varName) {
        Fail("option '" + Printable(arg) + "' decoded as version " +
             std::to_string(request.Version) + ", key '" + request.KeyPath + "', variable '" +
             request.VarName + "'; expected " + number + ", '" + keyPath + "', '" + varName + "'");
    }
}

void CheckAgainstReference(const std::string& text) {
    const auto expected = ReferenceParse(text);
    const auto parsed = compenv::ParseVersionNumber(text);
    if (parsed != expected) {
        Fail("ParseVersionNumber('" + Printable(text) + "') gave " +
             (parsed ? std::to_string(*parsed) : "nothing") + ", the syntax gives " +
             (expected ? std::to_string(*expected) : "nothing"));
    }

    // "-D" then the number; "-B", two letters that are not looked at, then the number.
    const std::string delphiArg = "-D" + text;
    const auto delphi = Decode(delphiArg);
    Check(delphi.has_value() == expected.has_value(), "-D option accepted unlike its number");
    if (delphi) {
        CheckRequest(*delphi, true, *expected, delphiArg);
    }
    if (text.size() >= 2) {
        const std::string builderArg = "-B" + text;
        const auto builderExpected = ReferenceParse(std::string_view(text).substr(2));
        const auto builder = Decode(builderArg);
        Check(builder.has_value() == builderExpected.has_value(),
              "-B option accepted unlike its number");
        if (builder) {
            CheckRequest(*builder, false, *builderExpected, builderArg);
        }
    }
}

std::string HexDigits(std::uint32_t bits) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[bits & 0xFu]);
        bits >>= 4;
    } while (bits != 0);
    return text;
}

void CheckReadsBack(const std::string& text, std::int32_t value) {
    const auto parsed = compenv::ParseVersionNumber(text);
    if (parsed != value) {
        Fail("'" + Printable(text) + "' should read as " + std::to_string(value) + ", gave " +
             (parsed ? std::to_string(*parsed) : "nothing"));
    }
    const auto request = Decode("-D" + text);
    Check(request && request->Version == value, "-D option does not read its number back");
}

// Writes `value` every way the syntax allows and reads each one back.
void CheckRoundTrip(std::int32_t value, std::size_t blanks, std::size_t zeros) {
    const std::string lead(blanks, ' ');
    const std::string pad(zeros, '0');
    const auto bits = static_cast<std::uint32_t>(value);
    const std::uint64_t magnitude =
        value < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(static_cast<std::int64_t>(value))
                  : static_cast<std::uint64_t>(value);
    const std::string decimal = std::to_string(magnitude);
    const std::string sign = value < 0 ? "-" : "";

    CheckReadsBack(std::to_string(value), value);
    CheckReadsBack(lead + sign + pad + decimal, value);
    if (value >= 0) {
        CheckReadsBack(lead + "+" + pad + decimal, value);
    }
    for (const char* prefix : {"$", "X", "0X"}) {
        CheckReadsBack(lead + prefix + pad + HexDigits(bits), value);
        CheckReadsBack(lead + "+" + prefix + HexDigits(bits), value);
        // A minus sign negates the bits: -$n reads as the value whose negation is n.
        CheckReadsBack(lead + "-" + prefix + pad + HexDigits(~bits + 1u), value);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckAgainstReference(text);

    // The round trip takes its value from the first four bytes and its padding from
    // the next two.
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < 4 && i < size; ++i) {
        bits |= static_cast<std::uint32_t>(data[i]) << (8 * i);
    }
    const std::size_t blanks = size > 4 ? data[4] % 4u : 0;
    const std::size_t zeros = size > 5 ? data[5] % 12u : 0;
    CheckRoundTrip(static_cast<std::int32_t>(bits), blanks, zeros);
    return 0;
}
