// Windows services through the system's ANSI ("A") functions: names, values and
// messages pass as bytes of the ANSI code page, never converted.

#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/command_line.h"
#include "platform/platform.h"

namespace compenv {

namespace {

class Win32Process : public Process {
public:
    std::vector<std::string> Arguments() const override {
        return SplitCommandLine(GetCommandLineA());
    }

    std::string ExecutablePath() const override {
        // A filled buffer means the path may have been cut: retry with a larger one.
        const DWORD largest = 0x10000;
        for (DWORD size = MAX_PATH;; size *= 2) {
            std::string buffer(size, '\0');
            const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), size);
            if (length < size || size >= largest) {
                buffer.resize(std::min(length, size));
                return buffer;
            }
        }
    }
};

class Win32RegistryKey : public RegistryKey {
public:
    explicit Win32RegistryKey(HKEY key) : key_(key) {}
    ~Win32RegistryKey() override { RegCloseKey(key_); }
    Win32RegistryKey(const Win32RegistryKey&) = delete;
    Win32RegistryKey& operator=(const Win32RegistryKey&) = delete;

    std::optional<RegistryValueInfo> QueryValueInfo(const std::string& name) override {
        DWORD type = REG_NONE;
        DWORD size = 0;
        if (RegQueryValueExA(key_, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        return RegistryValueInfo{type, size};
    }

    std::optional<RegistryValueData> QueryValueData(const std::string& name,
                                                    std::uint32_t bufferSize) override {
        std::string buffer(bufferSize, '\0');
        DWORD type = REG_NONE;
        DWORD size = bufferSize;
        if (RegQueryValueExA(key_, name.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        buffer.resize(std::min<DWORD>(size, bufferSize));
        return RegistryValueData{type, buffer};
    }

private:
    HKEY key_;
};

class Win32Registry : public Registry {
public:
    std::unique_ptr<RegistryKey> OpenLocalMachineKey(const std::string& path) override {
        // The compilers' installers were 32-bit: a 64-bit build asks for their view.
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &key) !=
            ERROR_SUCCESS) {
            return nullptr;
        }
        return std::make_unique<Win32RegistryKey>(key);
    }
};

class Win32OutputFile : public OutputFile {
public:
    explicit Win32OutputFile(HANDLE handle) : handle_(handle) {}
    ~Win32OutputFile() override { CloseHandle(handle_); }
    Win32OutputFile(const Win32OutputFile&) = delete;
    Win32OutputFile& operator=(const Win32OutputFile&) = delete;

    std::size_t Write(const std::string& bytes) override {
        const auto count = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), MAXDWORD));
        DWORD written = 0;
        if (!WriteFile(handle_, bytes.data(), count, &written, nullptr)) {
            return 0;
        }
        return written;
    }

    void Truncate() override {
        SetFilePointer(handle_, 0, nullptr, FILE_BEGIN);
        SetEndOfFile(handle_);
    }

private:
    HANDLE handle_;
};

// The system's text for `error`, line break included.
std::string SystemMessage(DWORD error) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) {
        return "System error " + std::to_string(error);
    }
    std::string message(text, length);
    LocalFree(text);
    return message;
}

class Win32FileSystem : public FileSystem {
public:
    CreateFileResult CreateOrTruncate(const std::string& name) override {
        CreateFileResult result;
        // No sharing: while this run writes, no other process opens the file, and a
        // file another process holds open makes the creation fail before truncating.
        const HANDLE handle = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            result.FailureReason = SystemMessage(error);
            return result;
        }
        result.File = std::make_unique<Win32OutputFile>(handle);
        return result;
    }

    std::string FullPath(const std::string& name) override {
        const DWORD needed = GetFullPathNameA(name.c_str(), 0, nullptr, nullptr);
        if (needed == 0) {
            return name;
        }
        std::string buffer(needed, '\0');
        const DWORD length = GetFullPathNameA(name.c_str(), needed, buffer.data(), nullptr);
        if (length == 0 || length >= needed) {
            return name;
        }
        buffer.resize(length);
        return buffer;
    }

    bool NamesAreCaseSensitive() const override { return false; }
};

bool IsUsable(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

// Raw handles, no C runtime stream: the bytes go out exactly as given, and nothing
// is buffered that WaitForEnter would have to flush.
class Win32Console : public Console {
public:
    void WriteLine(const std::string& text) override {
        const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
        if (!IsUsable(output)) {
            return;
        }
        const std::string line = text + "\r\n";
        DWORD written = 0;
        WriteFile(output, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }

    void WaitForEnter() override {
        const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
        if (!IsUsable(input)) {
            return;
        }
        char c = '\0';
        DWORD read = 0;
        while (ReadFile(input, &c, 1, &read, nullptr) && read == 1 && c != '\n') {
        }
    }
};

class Win32Platform : public PlatformServices {
public:
    Process& GetProcess() override { return process_; }
    Registry& GetRegistry() override { return registry_; }
    FileSystem& GetFileSystem() override { return files_; }
    Console& GetConsole() override { return console_; }

private:
    Win32Process process_;
    Win32Registry registry_;
    Win32FileSystem files_;
    Win32Console console_;
};

}  // namespace

std::unique_ptr<PlatformServices> CreatePlatformServices(int /*argc*/, char** /*argv*/,
                                                         const std::string& /*registrySubtree*/) {
    return std::make_unique<Win32Platform>();
}

}  // namespace compenv
