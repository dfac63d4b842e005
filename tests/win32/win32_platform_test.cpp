// The Win32 layer against a real registry and file system (Wine's, in CI). The
// registry cases need tests/fixtures/compilers-32bit-view.reg imported with /reg:32
// and tests/fixtures/compilers-64bit-view.reg with /reg:64.

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// windows.h first: gtest.h pulls in parts of it without WIN32_LEAN_AND_MEAN.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "common/tool_error.h"
#include "locator/compiler_locator.h"
#include "platform/platform.h"
#include "script/environment_script.h"

namespace compenv {
namespace {

std::unique_ptr<PlatformServices> Services() {
    return CreatePlatformServices(0, nullptr, kCompilerRegistryRoot);
}

TEST(Win32Registry, ReadsTheThirtyTwoBitView) {
    const auto services = Services();
    Registry& registry = services->GetRegistry();
    ASSERT_NE(registry.OpenLocalMachineKey("Software\\Borland\\Delphi\\7.0"), nullptr)
        << "import tests/fixtures/compilers-32bit-view.reg with /reg:32 first";

    struct Row {
        const char* key;
        std::uint32_t type;
        std::string bytes;  // as read into a buffer of the reported size
    };
    const Row rows[] = {
        {"Software\\Borland\\Delphi\\7.0", kRegSz,
         std::string("C:\\Program Files\\Borland\\Delphi7\\\0", 34)},
        {"Software\\Borland\\BDS\\4.0", kRegExpandSz,
         std::string("%ProgramFiles%\\Borland\\BDS\\4.0\\\0", 32)},
        {"Software\\Borland\\Delphi\\6.0", kRegDword, std::string("\6\0\0\0", 4)},
        {"Software\\Borland\\Delphi\\4.0", kRegSz, std::string(1, '\0')},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.key);
        const auto key = registry.OpenLocalMachineKey(row.key);
        ASSERT_NE(key, nullptr);
        const auto info = key->QueryValueInfo("rootdir");  // names compare without case
        ASSERT_TRUE(info.has_value());
        EXPECT_EQ(info->Type, row.type);
        EXPECT_EQ(info->Size, row.bytes.size());
        const auto data = key->QueryValueData("RootDir", info->Size);
        ASSERT_TRUE(data.has_value());
        EXPECT_EQ(data->Type, row.type);
        EXPECT_EQ(data->Bytes, row.bytes);
    }
}

TEST(Win32Registry, MissingKeysValuesAndShortBuffers) {
    const auto services = Services();
    Registry& registry = services->GetRegistry();
    // Present only in the 64-bit view, which a 32-bit installer never wrote.
    EXPECT_EQ(registry.OpenLocalMachineKey("Software\\Borland\\Delphi\\5.0"), nullptr);
    // A missing key is not created by looking for it.
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(registry.OpenLocalMachineKey("Software\\Borland\\Delphi\\99.0"), nullptr);
    }

    const auto key = registry.OpenLocalMachineKey("Software\\Borland\\Delphi\\7.0");
    ASSERT_NE(key, nullptr);
    EXPECT_FALSE(key->QueryValueInfo("NoSuchValue").has_value());
    EXPECT_FALSE(key->QueryValueData("RootDir", 4).has_value()) << "the value no longer fits";
}

TEST(Win32Registry, RootDirThroughTheLocator) {
    const auto services = Services();
    Registry& registry = services->GetRegistry();
    EXPECT_EQ(ReadRootDir(registry, "Software\\Borland\\Delphi\\7.0"),
              "C:\\Program Files\\Borland\\Delphi7");
    EXPECT_EQ(ReadRootDir(registry, "Software\\Borland\\C++Builder\\5.0"),
              "C:\\Borland\\CBuilder5\\");
    EXPECT_EQ(ReadRootDir(registry, "Software\\Borland\\Delphi\\5.0"), "");
    try {
        ReadRootDir(registry, "Software\\Borland\\Delphi\\6.0");
        ADD_FAILURE() << "a DWORD RootDir was accepted";
    } catch (const ToolError& error) {
        EXPECT_STREQ(error.what(), "Invalid data type for 'RootDir'");
    }
}

class Win32Files : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ASSERT_NE(GetTempPathA(MAX_PATH, temp), 0u);
        dir_ = std::string(temp) + "compenv-win32-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(dir_.c_str(), nullptr);
        SetCurrentDirectoryA(dir_.c_str());
    }
    void TearDown() override {
        for (const char* name : {"env.bat", "locked.bat", "readonly.bat"}) {
            const std::string path = dir_ + "\\" + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
        SetCurrentDirectoryA("\\");
        RemoveDirectoryA(dir_.c_str());
    }

    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    static void Write(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }

    // The message SaveScript raises for `name`, or "" when it succeeds.
    std::string SaveMessage(const std::string& name) {
        ScriptLines script;
        script.Lines = {"rem header", "set cmpD7=C:\\D7"};
        try {
            SaveScript(script, name, services_->GetFileSystem());
        } catch (const ToolError& error) {
            return error.what();
        }
        return "";
    }

    // Checks `message` is a creation failure for `fullPath` with a reason in one line.
    static void ExpectCreationFailure(const std::string& message, const std::string& fullPath) {
        const std::string start = "Cannot create file \"" + fullPath + "\". ";
        ASSERT_EQ(message.compare(0, start.size(), start), 0) << message;
        const std::string reason = message.substr(start.size());
        EXPECT_FALSE(reason.empty()) << message;
        EXPECT_EQ(reason.find_first_of("\r\n"), std::string::npos) << message;
        EXPECT_GT(static_cast<unsigned char>(reason.back()), 0x20) << message;
        EXPECT_NE(reason.back(), '.') << message;
    }

    std::unique_ptr<PlatformServices> services_ = Services();
    std::string dir_;
};

TEST_F(Win32Files, ReplacesALongerFileWhole) {
    Write("env.bat", std::string(500, 'x'));
    EXPECT_EQ(SaveMessage("env.bat"), "");
    EXPECT_EQ(Read("env.bat"), "rem header\r\nset cmpD7=C:\\D7\r\n");
}

TEST_F(Win32Files, FullPathIsAbsoluteAndFolded) {
    FileSystem& files = services_->GetFileSystem();
    EXPECT_EQ(files.FullPath("env.bat"), dir_ + "\\env.bat");
    EXPECT_EQ(files.FullPath("sub\\..\\.\\env.bat"), dir_ + "\\env.bat");
    EXPECT_FALSE(files.NamesAreCaseSensitive());
}

TEST_F(Win32Files, CreationFailuresLeaveTheFileAlone) {
    const std::string earlier = "rem earlier\r\n";
    Write("locked.bat", earlier);
    Write("readonly.bat", earlier);
    ASSERT_TRUE(SetFileAttributesA("readonly.bat", FILE_ATTRIBUTE_READONLY));
    // Held open by someone else without sharing.
    const HANDLE held = CreateFileA("locked.bat", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    // Wine maps the attribute to the Unix file mode, which root may ignore; the end-to-end
    // tests cover that case as an unprivileged user.
    const HANDLE probe = CreateFileA("readonly.bat", GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool readOnlyEnforced = probe == INVALID_HANDLE_VALUE;
    if (!readOnlyEnforced) {
        CloseHandle(probe);
    }

    struct Row {
        const char* name;
        std::string fullPath;
        bool applies;
    };
    const Row rows[] = {
        {"locked.bat", dir_ + "\\locked.bat", true},
        {"readonly.bat", dir_ + "\\readonly.bat", readOnlyEnforced},
        {"no-such-dir\\x.bat", dir_ + "\\no-such-dir\\x.bat", true},
        {".", dir_, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.applies) {
            ExpectCreationFailure(SaveMessage(row.name), row.fullPath);
        }
    }
    CloseHandle(held);
    EXPECT_EQ(Read("locked.bat"), earlier);
    if (readOnlyEnforced) {
        EXPECT_EQ(Read("readonly.bat"), earlier);
    }
}

TEST(Win32Process, ArgumentsAndExecutablePath) {
    const auto services = Services();
    const Process& process = services->GetProcess();
    char expected[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameA(nullptr, expected, sizeof expected);
    EXPECT_EQ(process.ExecutablePath(), std::string(expected, length));
    const auto args = process.Arguments();
    ASSERT_FALSE(args.empty());
    EXPECT_NE(args[0].find("compenv_win32_tests"), std::string::npos) << args[0];
}

}  // namespace
}  // namespace compenv
