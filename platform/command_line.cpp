#include "platform/command_line.h"

namespace compenv {

namespace {

bool IsSeparator(char c) { return static_cast<unsigned char>(c) <= 0x20; }

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    std::vector<std::string> args;
    std::size_t pos = 0;
    const std::size_t end = commandLine.size();
    for (;;) {
        // Separators and empty quote pairs before an argument are skipped alike.
        for (;;) {
            while (pos < end && IsSeparator(commandLine[pos])) {
                ++pos;
            }
            if (pos + 1 < end && commandLine[pos] == '"' && commandLine[pos + 1] == '"') {
                pos += 2;
            } else {
                break;
            }
        }
        if (pos >= end) {
            return args;
        }
        std::string arg;
        while (pos < end && !IsSeparator(commandLine[pos])) {
            if (commandLine[pos] == '"') {
                ++pos;
                while (pos < end && commandLine[pos] != '"') {
                    arg += commandLine[pos++];
                }
                if (pos < end) {
                    ++pos;  // the closing quote
                }
            } else {
                arg += commandLine[pos++];
            }
        }
        args.push_back(arg);
    }
}

}  // namespace compenv
