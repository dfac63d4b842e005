#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/tool_error.h"
#include "platform/platform.h"
#include "script/environment_script.h"

namespace compenv {
namespace {

namespace fs = std::filesystem;

class PosixFiles : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "compenv-posix-XXXXXX").string();
        dir_ = mkdtemp(pattern.data());
        char arg0[] = "compenv";
        char* argv[] = {arg0, nullptr};
        platform_ = CreatePlatformServices(1, argv, "Software\\Borland");
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // The message SaveScript raises for `name`, or "" when it succeeds.
    std::string SaveMessage(const std::string& name) {
        ScriptLines script;
        script.Lines = {"rem header", "set cmpD7=C:\\D7"};
        try {
            SaveScript(script, name, platform_->GetFileSystem());
        } catch (const ToolError& error) {
            return error.what();
        }
        return "";
    }

    fs::path dir_;
    std::unique_ptr<PlatformServices> platform_;
};

TEST_F(PosixFiles, SavesAndReplacesAnExistingFileWhole) {
    const fs::path file = dir_ / "env.bat";
    std::ofstream(file) << std::string(500, 'x');
    EXPECT_EQ(SaveMessage(file.string()), "");
    EXPECT_EQ(Read(file), "rem header\r\nset cmpD7=C:\\D7\r\n");
}

TEST_F(PosixFiles, CreationFailuresLeaveExistingFilesAlone) {
    const fs::path locked = dir_ / "locked.bat";
    std::ofstream(locked) << "held by another process";
    const int holder = open(locked.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);

    struct Case {
        const char* name;
        fs::path path;
        std::string reason;
    };
    const Case cases[] = {
        {"locked by another process", locked, std::strerror(EWOULDBLOCK)},
        {"missing directory", dir_ / "missing" / "env.bat", std::strerror(ENOENT)},
        {"a directory", dir_, std::strerror(EISDIR)},
        {"empty name", "", std::strerror(ENOENT)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string shown = c.path.empty() ? "" : c.path.string();
        EXPECT_EQ(SaveMessage(c.path.string()),
                  "Cannot create file \"" + shown + "\". " + c.reason);
    }
    EXPECT_EQ(Read(locked), "held by another process");
    close(holder);
}

TEST_F(PosixFiles, FullDiskLeavesNothingBehind) {
    EXPECT_EQ(SaveMessage("/dev/full"), "Stream write error");
}

TEST_F(PosixFiles, FullPathFoldsDotsWithoutResolvingLinks) {
    FileSystem& files = platform_->GetFileSystem();
    const std::string cwd = fs::current_path().string();
    EXPECT_EQ(files.FullPath("/a/./b/../c//d.bat"), "/a/c/d.bat");
    EXPECT_EQ(files.FullPath("/../x"), "/x");
    EXPECT_EQ(files.FullPath("env.bat"), cwd + "/env.bat");
    EXPECT_EQ(files.FullPath("./sub/../env.bat"), cwd + "/env.bat");
    EXPECT_TRUE(files.NamesAreCaseSensitive());
}

TEST_F(PosixFiles, ExecutablePathIsTheRealFileNotArgumentZero) {
    const std::string path = platform_->GetProcess().ExecutablePath();
    EXPECT_EQ(path, fs::canonical("/proc/self/exe").string());
    EXPECT_EQ(platform_->GetProcess().Arguments(), std::vector<std::string>{"compenv"});
}

}  // namespace
}  // namespace compenv
