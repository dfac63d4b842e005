#pragma once

#include <string>
#include <vector>

namespace compenv {

// Splits a Windows command line into arguments, the program's name first.
// Blanks and control characters (bytes up to 0x20) separate arguments; double
// quotes group text that holds blanks and are dropped; there is no escape
// character, so `-q\"` is `-q\` followed by an opening quote. A pair of double
// quotes at the start of an argument is skipped, so `""` standing alone yields no
// argument. Bytes from 0x80 up are ordinary characters.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

}  // namespace compenv
