// Splitting a Windows command line into arguments.
//
// The input is the command line. Properties:
//  - the arguments are the reference scan's: a double quote flips the quoted state,
//    a blank or control character outside quotes ends an argument, and the quotes are
//    dropped. So no argument holds a double quote or a separator that stood outside
//    quotes, and joined they give the line without those;
//  - arguments without blanks, control characters or quotes, joined with single
//    blanks, split back into themselves; with each one quoted, so do arguments that
//    hold blanks and control characters.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/command_line.h"

namespace {

using compenv::fuzz::Check;
using compenv::fuzz::Fail;
using compenv::fuzz::Printable;

bool IsSeparator(char c) { return static_cast<unsigned char>(c) <= 0x20; }

std::string Describe(const std::vector<std::string>& args) {
    std::string text = "[";
    for (const auto& arg : args) {
        text += (text.size() > 1 ? ", '" : "'") + Printable(arg) + "'";
    }
    return text + "]";
}

// The quote state of each byte is the parity of the quotes before it. A run is a
// maximal stretch of bytes that are not separators outside quotes; a run gives one
// argument, its bytes without the quotes, unless it is nothing but pairs of quotes
// (an empty "" standing alone is no argument).
struct ReferenceScan {
    std::vector<std::string> args;
    std::string kept;  // the line without quotes and without separators outside quotes
};

ReferenceScan Scan(const std::string& line) {
    ReferenceScan scan;
    bool quoted = false;
    bool inRun = false;
    std::string run;
    const auto endRun = [&] {
        if (inRun) {
            const bool onlyQuotes = run.find_first_not_of('"') == std::string::npos;
            if (!(onlyQuotes && run.size() % 2 == 0)) {
                std::string arg;
                for (const char c : run) {
                    if (c != '"') {
                        arg += c;
                    }
                }
                scan.args.push_back(arg);
            }
        }
        inRun = false;
        run.clear();
    };
    for (const char c : line) {
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && IsSeparator(c)) {
            endRun();
            continue;
        } else {
            scan.kept += c;
        }
        inRun = true;
        run += c;
    }
    endRun();
    return scan;
}

std::string Join(const std::vector<std::string>& args, const char* open, const char* close) {
    std::string line;
    for (const auto& arg : args) {
        if (!line.empty()) {
            line += ' ';
        }
        line += open + arg + close;
    }
    return line;
}

void CheckResplit(const std::string& line, const std::vector<std::string>& args, const char* what) {
    const auto again = compenv::SplitCommandLine(line);
    if (again != args) {
        Fail(std::string(what) + ": '" + Printable(line) + "' split as " + Describe(again) +
             ", not " + Describe(args));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> args = compenv::SplitCommandLine(line);
    const ReferenceScan scan = Scan(line);

    std::string joined;
    bool plain = true;  // no argument is empty or holds a separator
    bool hasEmpty = false;
    for (const auto& arg : args) {
        Check(arg.find('"') == std::string::npos, "an argument holds a double quote");
        joined += arg;
        hasEmpty = hasEmpty || arg.empty();
        for (const char c : arg) {
            plain = plain && !IsSeparator(c);
        }
    }
    if (joined != scan.kept) {
        Fail("arguments " + Describe(args) + " of '" + Printable(line) +
             "' do not hold exactly its bytes that are neither quotes nor separators outside "
             "quotes");
    }
    if (args != scan.args) {
        Fail("'" + Printable(line) + "' split as " + Describe(args) + ", the quote scan gives " +
             Describe(scan.args));
    }

    if (!hasEmpty) {
        if (plain) {
            CheckResplit(Join(args, "", ""), args, "joined with blanks");
        }
        CheckResplit(Join(args, "\"", "\""), args, "quoted and joined with blanks");
    }
    return 0;
}
