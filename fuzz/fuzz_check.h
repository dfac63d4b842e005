#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace compenv::fuzz {

// Text safe to print: printable ASCII as is, every other byte as \xNN.
inline std::string Printable(const std::string& bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            text += c;
        } else {
            text += "\\x";
            text += kHex[byte >> 4];
            text += kHex[byte & 0x0F];
        }
    }
    return text;
}

// Ends the run when a property does not hold; libFuzzer then keeps the input that
// broke it.
[[noreturn]] inline void Fail(const std::string& what) {
    std::fprintf(stderr, "\n*** property violated: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

inline void Check(bool holds, const char* what) {
    if (!holds) {
        Fail(what);
    }
}

}  // namespace compenv::fuzz
