// Starts a program with an exact command line, which a POSIX test cannot hand to a
// Windows program through wine64's own argument handling.
//   COMPENV_RAW_APPLICATION   the program, as a Windows path
//   COMPENV_RAW_COMMAND_LINE  its whole command line, argument 0 included
//   COMPENV_RAW_HOLD_FILE     optional: a file kept open without sharing meanwhile
// Standard handles are inherited; the exit status is the program's, or 125 when it
// cannot be started.

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main() {
    const char* application = std::getenv("COMPENV_RAW_APPLICATION");
    const char* commandLine = std::getenv("COMPENV_RAW_COMMAND_LINE");
    if (application == nullptr || commandLine == nullptr) {
        std::fputs("COMPENV_RAW_APPLICATION and COMPENV_RAW_COMMAND_LINE must be set\n", stderr);
        return 125;
    }
    const char* holdFile = std::getenv("COMPENV_RAW_HOLD_FILE");
    const HANDLE held = holdFile == nullptr
                            ? INVALID_HANDLE_VALUE
                            : CreateFileA(holdFile, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (holdFile != nullptr && held == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "cannot hold %s: %lu\n", holdFile, GetLastError());
        return 125;
    }
    std::string line = commandLine;  // CreateProcessA may write to it
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(application, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::fprintf(stderr, "CreateProcessA failed: %lu\n", GetLastError());
        return 125;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 125;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (held != INVALID_HANDLE_VALUE) {
        CloseHandle(held);
    }
    return static_cast<int>(status);
}
