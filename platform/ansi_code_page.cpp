#include "platform/ansi_code_page.h"

namespace compenv {

namespace {

// Bytes 0x80 to 0x9F; the five bytes the code page leaves undefined map to the
// C1 control of the same number, as Windows maps them.
const char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char ToAnsi(char16_t unit) {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
        return static_cast<char>(unit);
    }
    for (unsigned i = 0; i < 32; ++i) {
        if (kHighControls[i] == unit) {
            return static_cast<char>(0x80 + i);
        }
    }
    return '?';
}

}  // namespace

std::string Utf16ToAnsi(const std::u16string& text) {
    std::string result;
    result.reserve(text.size());
    for (const char16_t unit : text) {
        result += ToAnsi(unit);
    }
    return result;
}

std::u16string AnsiToUtf16(const std::string& text) {
    std::u16string result;
    result.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        result += byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : char16_t{byte};
    }
    return result;
}

}  // namespace compenv
