#include "platform/wine_hive.h"

#include <cstring>
#include <string_view>

#include "platform/ansi_code_page.h"

namespace compenv {

namespace {

const char* const kHiveHeader = "WINE REGISTRY Version 2";

// Longest logical line kept (a value with its continuation lines). Longer ones are
// skipped as malformed, so one runaway line cannot take unbounded memory.
const std::size_t kMaxLineLength = 16 * 1024 * 1024;

// Reads the hive line by line through a fixed buffer.
class LineReader {
public:
    explicit LineReader(const HiveByteSource& source) : source_(source), buffer_(64 * 1024) {}

    // The first byte of the next line; -1 at the end of the input.
    int Peek() {
        if (!Fill()) {
            return -1;
        }
        return static_cast<unsigned char>(buffer_[begin_]);
    }

    // Reads the next line without its LF (and a CR before it) into `line`. Returns
    // false at the end of the input; `line` is cleared and `tooLong` set when the
    // line is longer than `limit`.
    bool ReadLine(std::string& line, std::size_t limit, bool& tooLong) {
        line.clear();
        tooLong = false;
        if (!Fill()) {
            return false;
        }
        while (Fill()) {
            const char* start = buffer_.data() + begin_;
            const std::size_t available = end_ - begin_;
            const void* newline = std::memchr(start, '\n', available);
            const std::size_t take =
                newline ? static_cast<std::size_t>(static_cast<const char*>(newline) - start)
                        : available;
            if (!tooLong) {
                if (line.size() + take > limit) {
                    tooLong = true;
                    line.clear();
                    line.shrink_to_fit();
                } else {
                    line.append(start, take);
                }
            }
            begin_ += take;
            if (newline) {
                ++begin_;
                break;
            }
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        return true;
    }

    // Skips the rest of the current line, LF included.
    void SkipLine() {
        while (Fill()) {
            const char* start = buffer_.data() + begin_;
            const void* newline = std::memchr(start, '\n', end_ - begin_);
            if (newline) {
                begin_ += static_cast<std::size_t>(static_cast<const char*>(newline) - start) + 1;
                return;
            }
            begin_ = end_;
        }
    }

private:
    bool Fill() {
        if (begin_ < end_) {
            return true;
        }
        if (atEnd_) {
            return false;
        }
        begin_ = 0;
        end_ = source_(buffer_.data(), buffer_.size());
        if (end_ == 0) {
            atEnd_ = true;
            return false;
        }
        return true;
    }

    const HiveByteSource& source_;
    std::vector<char> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool atEnd_ = false;
};

char16_t FoldUnit(char16_t c) {
    if (c >= u'a' && c <= u'z') {
        return static_cast<char16_t>(c - 0x20);
    }
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) {
        return static_cast<char16_t>(c - 0x20);
    }
    if (c == 0xFF) {
        return 0x178;
    }
    return c;
}

int HexValue(char c) {
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

// Appends the UTF-8 sequence starting at `pos` as UTF-16 and moves past it; an
// invalid sequence gives U+FFFD for its first byte.
void DecodeUtf8(const std::string& text, std::size_t& pos, std::u16string& out) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    int length = 0;
    char32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
    }
    bool valid = length > 0 && pos + static_cast<std::size_t>(length) <= text.size();
    for (int i = 1; valid && i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[pos + static_cast<std::size_t>(i)]);
        valid = (next & 0xC0u) == 0x80u;
        code = (code << 6) | (next & 0x3Fu);
    }
    const char32_t minimum = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    valid = valid && code >= minimum && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
    if (!valid) {
        out += u'\xFFFD';
        ++pos;
        return;
    }
    if (code >= 0x10000) {
        code -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (code >> 10));
        out += static_cast<char16_t>(0xDC00 + (code & 0x3FFu));
    } else {
        out += static_cast<char16_t>(code);
    }
    pos += static_cast<std::size_t>(length);
}

// Reads an escaped string from `pos` up to the unescaped `terminator`, and moves
// past the terminator. Returns false when the terminator is missing.
bool ParseEscapedString(const std::string& line, std::size_t& pos, char terminator,
                        std::u16string& out) {
    while (pos < line.size()) {
        const char c = line[pos];
        if (c == terminator) {
            ++pos;
            return true;
        }
        if (static_cast<unsigned char>(c) >= 0x80) {
            DecodeUtf8(line, pos, out);
            continue;
        }
        ++pos;
        if (c != '\\' || pos >= line.size()) {
            out += static_cast<char16_t>(c);
            continue;
        }
        const char e = line[pos++];
        switch (e) {
            case 'a':
                out += u'\a';
                break;
            case 'b':
                out += u'\b';
                break;
            case 'e':
                out += u'\x1B';
                break;
            case 'f':
                out += u'\f';
                break;
            case 'n':
                out += u'\n';
                break;
            case 'r':
                out += u'\r';
                break;
            case 't':
                out += u'\t';
                break;
            case 'v':
                out += u'\v';
                break;
            case 'x': {
                unsigned value = 0;
                int digits = 0;
                while (digits < 4 && pos < line.size() && HexValue(line[pos]) >= 0) {
                    value = value * 16 + static_cast<unsigned>(HexValue(line[pos++]));
                    ++digits;
                }
                out += digits > 0 ? static_cast<char16_t>(value) : u'x';
                break;
            }
            default:
                if (e >= '0' && e <= '7') {
                    unsigned value = static_cast<unsigned>(e - '0');
                    for (int digits = 1;
                         digits < 3 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7';
                         ++digits) {
                        value = value * 8 + static_cast<unsigned>(line[pos++] - '0');
                    }
                    out += static_cast<char16_t>(value);
                } else if (static_cast<unsigned char>(e) >= 0x80) {
                    --pos;
                    DecodeUtf8(line, pos, out);
                } else {
                    out += static_cast<char16_t>(e);
                }
        }
    }
    return false;
}

std::string Utf16Bytes(const std::u16string& text) {
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (const char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

bool StartsWith(const std::string& text, std::size_t pos, const char* prefix) {
    return text.compare(pos, std::strlen(prefix), prefix) == 0;
}

// Reads "N)" of a typed form such as "hex(N):"; N is hexadecimal.
bool ParseTypeNumber(const std::string& line, std::size_t& pos, std::uint32_t& type) {
    std::uint64_t value = 0;
    const std::size_t start = pos;
    while (pos < line.size() && HexValue(line[pos]) >= 0) {
        value = value * 16 + static_cast<unsigned>(HexValue(line[pos++]));
        if (value > 0xFFFFFFFFu) {
            return false;
        }
    }
    if (pos == start || pos >= line.size() || line[pos] != ')') {
        return false;
    }
    ++pos;
    type = static_cast<std::uint32_t>(value);
    return true;
}

// Bytes written as two-digit hex separated by commas; blanks are allowed around them.
bool ParseHexBytes(const std::string& text, std::size_t pos, std::string& out) {
    auto skipBlanks = [&] {
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) {
            ++pos;
        }
    };
    skipBlanks();
    while (pos < text.size()) {
        int value = 0;
        int digits = 0;
        while (digits < 2 && pos < text.size() && HexValue(text[pos]) >= 0) {
            value = value * 16 + HexValue(text[pos++]);
            ++digits;
        }
        if (digits == 0) {
            return false;
        }
        out += static_cast<char>(value);
        skipBlanks();
        if (pos < text.size()) {
            if (text[pos] != ',') {
                return false;
            }
            ++pos;
            skipBlanks();
        }
    }
    return true;
}

// Parses the data after "=". Returns false when it is malformed.
bool ParseValueData(const std::string& line, std::size_t pos, HiveValue& value) {
    std::uint32_t type = kRegSz;
    if (StartsWith(line, pos, "\"")) {
        ++pos;
    } else if (StartsWith(line, pos, "str:\"")) {
        pos += 5;
    } else if (StartsWith(line, pos, "str(")) {
        pos += 4;
        if (!ParseTypeNumber(line, pos, type) || !StartsWith(line, pos, ":\"")) {
            return false;
        }
        pos += 2;
    } else if (StartsWith(line, pos, "dword:")) {
        pos += 6;
        std::uint32_t number = 0;
        const std::size_t start = pos;
        while (pos < line.size() && HexValue(line[pos]) >= 0) {
            number = number * 16 + static_cast<std::uint32_t>(HexValue(line[pos++]));
        }
        if (pos == start) {
            return false;
        }
        value.Type = kRegDword;
        value.Data.assign(4, '\0');
        for (std::size_t i = 0; i < 4; ++i) {
            value.Data[i] = static_cast<char>((number >> (8 * i)) & 0xFFu);
        }
        return true;
    } else if (StartsWith(line, pos, "hex:")) {
        value.Type = kRegBinary;
        return ParseHexBytes(line, pos + 4, value.Data);
    } else if (StartsWith(line, pos, "hex(")) {
        pos += 4;
        if (!ParseTypeNumber(line, pos, value.Type) || !StartsWith(line, pos, ":")) {
            return false;
        }
        return ParseHexBytes(line, pos + 1, value.Data);
    } else {
        return false;
    }
    std::u16string text;
    if (!ParseEscapedString(line, pos, '"', text)) {
        return false;
    }
    text += u'\0';  // the stored terminator, which the file leaves out
    value.Type = type;
    value.Data = Utf16Bytes(text);
    return true;
}

bool IsHexForm(const std::string& line, std::size_t pos) {
    return StartsWith(line, pos, "hex:") || StartsWith(line, pos, "hex(");
}

class HiveParser {
public:
    HiveParser(const HiveByteSource& source, const std::vector<std::string>& subtrees)
        : reader_(source) {
        for (const auto& subtree : subtrees) {
            subtrees_.push_back(WineHive::FoldCase(AnsiToUtf16(subtree)));
        }
    }

    void Parse(bool& isWin64, std::map<std::u16string, HiveKey>& keys) {
        std::string line;
        bool tooLong = false;
        if (!reader_.ReadLine(line, kMaxLineLength, tooLong) || line != kHiveHeader) {
            return;
        }
        bool seenKey = false;
        HiveKey* current = nullptr;
        for (;;) {
            const int first = reader_.Peek();
            if (first < 0) {
                return;
            }
            const bool valueLine = first == '"' || first == '@';
            if (first != '[' && first != '#' && !(valueLine && current)) {
                reader_.SkipLine();  // comments, blank lines, values of skipped keys
                continue;
            }
            if (!reader_.ReadLine(line, kMaxLineLength, tooLong)) {
                return;
            }
            if (tooLong) {
                continue;
            }
            if (first == '[') {
                seenKey = true;
                current = ParseKeyLine(line, keys);
            } else if (first == '#') {
                if (!seenKey && line == "#arch=win64") {
                    isWin64 = true;
                }
            } else {
                ParseValueLine(line, *current);
            }
        }
    }

private:
    // True when the escaped path from `line[1]` on certainly lies outside every
    // subtree: a plain ASCII character differs from the subtree before any escape
    // other than a doubled backslash, or any non-ASCII byte, is met.
    bool CertainlyOutside(const std::string& line) const {
        for (const auto& subtree : subtrees_) {
            std::size_t pos = 1;
            std::size_t matched = 0;
            bool differs = false;
            while (matched < subtree.size()) {
                if (pos >= line.size()) {
                    return false;
                }
                char16_t unit = static_cast<unsigned char>(line[pos]);
                if (unit >= 0x80 || unit == u']') {
                    return false;
                }
                if (unit == u'\\') {
                    if (pos + 1 >= line.size() || line[pos + 1] != '\\') {
                        return false;
                    }
                    ++pos;
                }
                ++pos;
                if (FoldUnit(unit) != subtree[matched]) {
                    differs = true;
                    break;
                }
                ++matched;
            }
            if (!differs) {
                return false;
            }
        }
        return true;
    }

    HiveKey* ParseKeyLine(const std::string& line, std::map<std::u16string, HiveKey>& keys) {
        if (CertainlyOutside(line)) {
            return nullptr;
        }
        std::size_t pos = 1;
        std::u16string path;
        if (!ParseEscapedString(line, pos, ']', path)) {
            return nullptr;
        }
        path = WineHive::FoldCase(path);
        if (!InSubtree(path)) {
            return nullptr;
        }
        return &keys[path];
    }

    bool InSubtree(const std::u16string& path) const {
        for (const auto& subtree : subtrees_) {
            if (path.compare(0, subtree.size(), subtree) == 0 &&
                (path.size() == subtree.size() || path[subtree.size()] == u'\\')) {
                return true;
            }
        }
        return false;
    }

    void ParseValueLine(std::string& line, HiveKey& key) {
        std::size_t pos = 0;
        std::u16string name;
        if (line[0] == '@') {
            pos = 1;
        } else {
            pos = 1;
            if (!ParseEscapedString(line, pos, '"', name)) {
                return;
            }
        }
        HiveValue& value = key.Values[WineHive::FoldCase(name)];
        value = HiveValue();
        if (pos >= line.size() || line[pos] != '=') {
            return;
        }
        ++pos;
        if (IsHexForm(line, pos) && !AppendContinuations(line)) {
            return;  // cut short: kept as malformed
        }
        if (!ParseValueData(line, pos, value)) {
            value = HiveValue();
        }
    }

    // Joins the lines a hex value continues on (a line ending in a backslash goes
    // on with the next line, after its leading blanks). Returns false when the
    // value is cut short: the input ends, or a line is too long to keep.
    bool AppendContinuations(std::string& line) {
        std::string next;
        bool tooLong = false;
        while (!line.empty() && line.back() == '\\') {
            line.pop_back();
            if (!reader_.ReadLine(next, kMaxLineLength, tooLong) || tooLong ||
                line.size() + next.size() > kMaxLineLength) {
                return false;
            }
            const std::size_t start = next.find_first_not_of(" \t");
            if (start != std::string::npos) {
                line.append(next, start, std::string::npos);
            }
        }
        return true;
    }

    LineReader reader_;
    std::vector<std::u16string> subtrees_;
};

// The data of a value as the ANSI query returns it.
std::string AnsiData(const HiveValue& value) {
    if (value.Type != kRegSz && value.Type != kRegExpandSz && value.Type != kRegMultiSz) {
        return value.Data;
    }
    std::u16string units(value.Data.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(value.Data[2 * i]) |
                                         (static_cast<unsigned char>(value.Data[2 * i + 1]) << 8));
    }
    return Utf16ToAnsi(units);
}

class WineHiveKey : public RegistryKey {
public:
    explicit WineHiveKey(const HiveKey& key) : key_(key) {}

    std::optional<RegistryValueInfo> QueryValueInfo(const std::string& name) override {
        const HiveValue* value = Find(name);
        if (!value) {
            return std::nullopt;
        }
        return RegistryValueInfo{value->Type, static_cast<std::uint32_t>(AnsiData(*value).size())};
    }

    std::optional<RegistryValueData> QueryValueData(const std::string& name,
                                                    std::uint32_t bufferSize) override {
        const HiveValue* value = Find(name);
        if (!value) {
            return std::nullopt;
        }
        RegistryValueData data{value->Type, AnsiData(*value)};
        if (data.Bytes.size() > bufferSize) {
            return std::nullopt;
        }
        return data;
    }

private:
    const HiveValue* Find(const std::string& name) const {
        const auto found = key_.Values.find(WineHive::FoldCase(AnsiToUtf16(name)));
        return found == key_.Values.end() ? nullptr : &found->second;
    }

    const HiveKey& key_;
};

bool HasPrefixFolded(std::u16string_view path, std::u16string_view prefix) {
    return path.compare(0, prefix.size(), prefix) == 0 &&
           (path.size() == prefix.size() || path[prefix.size()] == u'\\');
}

constexpr std::u16string_view kSoftware = u"SOFTWARE";
constexpr std::u16string_view kWow64Software = u"SOFTWARE\\WOW6432NODE";

// Where a 32-bit process's view of `path` lies in a win64 registry.
std::u16string Wow64Path(const std::u16string& foldedPath) {
    if (!HasPrefixFolded(foldedPath, kSoftware) || HasPrefixFolded(foldedPath, kWow64Software)) {
        return foldedPath;
    }
    std::u16string path(kWow64Software);
    path.append(foldedPath, kSoftware.size());
    return path;
}

}  // namespace

std::u16string WineHive::FoldCase(std::u16string text) {
    for (char16_t& unit : text) {
        unit = FoldUnit(unit);
    }
    return text;
}

WineHive WineHive::Read(const HiveByteSource& source, const std::vector<std::string>& subtrees) {
    WineHive hive;
    HiveParser(source, subtrees).Parse(hive.isWin64_, hive.keys_);
    return hive;
}

const HiveKey* WineHive::FindKey(const std::u16string& path) const {
    const auto found = keys_.find(FoldCase(path));
    return found == keys_.end() ? nullptr : &found->second;
}

WineHiveRegistry::WineHiveRegistry(std::function<HiveByteSource()> openHive, std::string subtree)
    : openHive_(std::move(openHive)),
      subtree_(std::move(subtree)),
      foldedSubtree_(WineHive::FoldCase(AnsiToUtf16(subtree_))) {}

const WineHive& WineHiveRegistry::Hive() {
    if (!hive_) {
        // Both views are kept, since the architecture is only known once read.
        std::vector<std::string> subtrees{subtree_};
        const std::u16string wow64 = Wow64Path(foldedSubtree_);
        if (wow64 != foldedSubtree_) {
            subtrees.push_back(Utf16ToAnsi(wow64));
        }
        const HiveByteSource source = openHive_();
        hive_ = std::make_unique<WineHive>(source ? WineHive::Read(source, subtrees) : WineHive());
    }
    return *hive_;
}

std::unique_ptr<RegistryKey> WineHiveRegistry::OpenLocalMachineKey(const std::string& path) {
    std::u16string folded = WineHive::FoldCase(AnsiToUtf16(path));
    if (!HasPrefixFolded(folded, foldedSubtree_)) {
        return nullptr;
    }
    const WineHive& hive = Hive();
    if (hive.IsWin64()) {
        folded = Wow64Path(folded);
    }
    const HiveKey* key = hive.FindKey(folded);
    if (!key) {
        return nullptr;
    }
    return std::make_unique<WineHiveKey>(*key);
}

}  // namespace compenv
