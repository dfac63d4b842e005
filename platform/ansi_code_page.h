#pragma once

#include <string>

namespace compenv {

// Conversions between UTF-16 and Windows code page 1252, the ANSI code page of a
// Wine process started in the C or C.UTF-8 locale.

// One byte per UTF-16 unit; a unit with no place in the code page becomes '?'.
std::string Utf16ToAnsi(const std::u16string& text);

// One UTF-16 unit per byte.
std::u16string AnsiToUtf16(const std::string& text);

}  // namespace compenv
