// Runs the built executable in a scratch directory against a Wine prefix and compares
// standard output, exit status and the written file whole.

#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "e2e_support.h"

namespace compenv {
namespace {

namespace fs = std::filesystem;
using namespace compenv::testing;

const char* const kEarlierRun = "rem left by an earlier run\r\n";

struct Observed {
    ProcessResult result;
    std::string file;  // _compileEnv.bat (or the file `outputName` names) afterwards
};

Observed RunTool(const Tool& tool, const std::vector<std::string>& args, const std::string& input,
                 const std::string& outputName = "_compileEnv.bat") {
    ScratchDir dir;
    WriteFile(dir.Path() / "_compileEnv.bat", kEarlierRun);
    ProcessOptions options;
    options.Input = input;
    ProcessResult result = RunIn(tool, dir.Path(), FixturePrefix(), args, options);
    return {result, ReadFile(dir.Path() / outputName)};
}

// The header the tool under test writes: the full path of the executable.
std::string Header(const Tool& tool) {
    if (tool.windows) {
        return "";  // checked by shape instead, since Wine chooses the drive letter
    }
    return NativeHeader(tool.exe);
}

// Replaces "H" lines of an expected text with the header of the tool under test; on
// Windows compares the header by its shape and cuts it out of both texts.
void ExpectText(const Tool& tool, std::string actual, std::string expected, const char* what) {
    const std::string marker = "H\r\n";
    if (tool.windows) {
        for (std::size_t at; (at = actual.find(kHeaderText)) != std::string::npos;) {
            const std::size_t end = actual.find("\r\n", at);
            ASSERT_NE(end, std::string::npos) << what;
            const std::string path =
                actual.substr(at + std::strlen(kHeaderText), end - at - std::strlen(kHeaderText));
            EXPECT_TRUE(path.size() > 12 &&
                        path.compare(path.size() - 12, 12, "\\compenv.exe") == 0 && path[1] == ':')
                << what << ": header path " << path;
            actual.replace(at, end - at + 2, marker);
        }
    } else {
        for (std::size_t at; (at = expected.find(marker)) != std::string::npos;) {
            expected.replace(at, marker.size(), Header(tool) + "\r\n");
        }
    }
    EXPECT_EQ(actual, expected) << what;
}

struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string input;   // standard input
    std::string output;  // standard output; "H" lines stand for the header
    int status;
    std::string file;  // _compileEnv.bat afterwards
};

const std::string kD7 = "set cmpD7=C:\\Program Files\\Borland\\Delphi7\r\n";
const std::string kBcb6 = "set cmpBCB6=C:\\Program Files\\Borland\\CBuilder6\r\n";

// Cases whose bytes are the same on every build (the header aside).
std::vector<Case> PortableCases() {
    return {
        {"no arguments", {}, "", "", 0, "H\r\n"},
        {"compilers found",
         {"-D7", "-BCB6", "-D10", "-d11", "-bcb5"},
         "",
         "",
         0,
         "H\r\n" + kD7 + kBcb6 + "set cmpD10=%ProgramFiles%\\Borland\\BDS\\4.0\r\n" +
             "set \"cmpD11=C:\\R&D\\Delphi 2007\"\r\nset cmpBCB5=C:\\Borland\\CBuilder5\\\r\n"},
        {"list mode waits for Enter", {"-D7", "-L"}, "\n", "H\r\n" + kD7, 0, "H\r\n" + kD7},
        {"list mode at end of input",
         {"-list", "-D7", "-D7"},
         "",
         "H\r\n" + kD7 + kD7,
         0,
         "H\r\n" + kD7 + kD7},
        {"nothing installed, listed",
         {"-D4", "-D5", "-D9", "-L"},
         "\n",
         "Error - No compilers installed\r\nH\r\n",
         0,
         "H\r\n"},
        {"nothing installed, not listed", {"-D5"}, "", "", 0, "H\r\n"},
        {"malformed number",
         {"-D7", "-D7.0"},
         "",
         "Error - Invalid command line parameter [-D7.0]\r\n",
         1,
         kEarlierRun},
        {"unknown option as typed",
         {"-L", "-D7", "-q"},
         "",
         "Error - Invalid command line parameter [-q]\r\n",
         1,
         kEarlierRun},
        {"slash option",
         {"/D7"},
         "",
         "Error - Invalid command line parameter [/D7]\r\n",
         1,
         kEarlierRun},
        {"C++Builder without its letters",
         {"-B6"},
         "",
         "Error - Invalid command line parameter [-B6]\r\n",
         1,
         kEarlierRun},
        {"number as RootDir",
         {"-D7", "-D6", "-L"},
         "\n",
         "Invalid data type for 'RootDir'\r\n",
         1,
         kEarlierRun},
        {"quote in RootDir", {"-D3"}, "", "Invalid data for 'RootDir'\r\n", 1, kEarlierRun},
    };
}

TEST(EndToEnd, PortableCases) {
    const Tool tool = ToolUnderTest();
    for (const auto& c : PortableCases()) {
        SCOPED_TRACE(c.name);
        const Observed observed = RunTool(tool, c.args, c.input);
        EXPECT_EQ(observed.result.ExitStatus, c.status);
        ExpectText(tool, observed.result.Output, c.output, "stdout");
        ExpectText(tool, observed.file, c.file, "file");
    }
}

TEST(EndToEnd, OutputFileOption) {
    const Tool tool = ToolUnderTest();
    // Windows upper-cases the path; a POSIX file system would take that for another file.
    const std::string name = tool.windows ? "OUT.BAT" : "Out.bat";
    const Observed observed = RunTool(tool, {"-FOut.bat", "-D7"}, "", name);
    EXPECT_EQ(observed.result.ExitStatus, 0);
    EXPECT_EQ(observed.result.Output, "");
    ExpectText(tool, observed.file, "H\r\n" + kD7, "file");
}

TEST(EndToEnd, CreationFailuresNameTheFullPath) {
    const Tool tool = ToolUnderTest();
    struct Failure {
        const char* name;
        std::string option;
        const char* pathEnd;  // how the full path in the message ends
    };
    const Failure failures[] = {
        {"missing directory", "-Fno-such-dir/x.bat",
         tool.windows ? "\\NO-SUCH-DIR\\X.BAT" : "/no-such-dir/x.bat"},
        {"directory as target", "-F.", ""},
    };
    for (const auto& f : failures) {
        SCOPED_TRACE(f.name);
        const Observed observed = RunTool(tool, {"-D7", f.option}, "");
        EXPECT_EQ(observed.result.ExitStatus, 1);
        ExpectCreationFailure(observed.result.Output, f.pathEnd);
        EXPECT_EQ(observed.file, kEarlierRun);
    }
}

// The Windows build and the native build read the same prefix alike.
TEST(EndToEnd, SameAsTheNativeBuild) {
    const Tool tool = ToolUnderTest();
    const std::string nativeExe = Env("COMPENV_E2E_NATIVE_EXE");
    if (!tool.windows || nativeExe.empty()) {
        GTEST_SKIP() << "needs a Windows build and COMPENV_E2E_NATIVE_EXE";
    }
    const Tool native{nativeExe, "", false};
    const std::string nativeHeader = Header(native) + "\r\n";
    for (const auto& c : PortableCases()) {
        SCOPED_TRACE(c.name);
        const Observed windows = RunTool(tool, c.args, c.input);
        Observed posix = RunTool(native, c.args, c.input);
        EXPECT_EQ(windows.result.ExitStatus, posix.result.ExitStatus);
        for (std::string* text : {&posix.result.Output, &posix.file}) {
            for (std::size_t at; (at = text->find(nativeHeader)) != std::string::npos;) {
                text->replace(at, nativeHeader.size(), "H\r\n");
            }
        }
        ExpectText(tool, windows.result.Output, posix.result.Output, "stdout");
        ExpectText(tool, windows.file, posix.file, "file");
    }
}

}  // namespace
}  // namespace compenv

namespace compenv {
namespace {

using namespace compenv::testing;
namespace fs = std::filesystem;

// The header names the executable by its full path, also past the old 260-character limit.
TEST(EndToEnd, HeaderNamesALongExecutablePath) {
    const Tool tool = ToolUnderTest();
    ScratchDir dir;
    fs::path deep = dir.Path();
    for (int i = 0; i < 6; ++i) {
        deep /= std::string(50, static_cast<char>('a' + i));
    }
    fs::create_directories(deep);
    const fs::path exe = deep / fs::path(tool.exe).filename();
    fs::copy_file(tool.exe, exe);
    const Tool copy{exe.string(), tool.launcher, tool.windows};
    const ProcessResult result = RunIn(copy, dir.Path(), FixturePrefix(), {"-L"}, {});
    EXPECT_EQ(result.ExitStatus, 0);
    const std::string header = ReadFile(dir.Path() / "_compileEnv.bat");
    ASSERT_EQ(header.rfind(kHeaderText, 0), 0u) << header;
    const std::string path =
        header.substr(std::strlen(kHeaderText), header.size() - 2 - std::strlen(kHeaderText));
    EXPECT_GT(path.size(), 300u) << path;
    if (tool.windows) {
        EXPECT_EQ(path.substr(path.size() - 12), "\\compenv.exe") << path;
        EXPECT_NE(path.find(std::string(50, 'f')), std::string::npos) << path;
    } else {
        EXPECT_EQ(path, fs::canonical(exe).string());
    }
}

// In list mode every line is on the console before the tool waits for Enter, and the
// file is written only after Enter.
TEST(EndToEnd, ListModeShowsTheLinesBeforeWaiting) {
    const Tool tool = ToolUnderTest();
    ScratchDir dir;
    ProcessOptions options;
    options.Input = "\n";
    options.InputAfter = kD7;
    options.TimeoutSeconds = 20;
    const ProcessResult result = RunIn(tool, dir.Path(), FixturePrefix(), {"-L", "-D7"}, options);
    EXPECT_EQ(result.ExitStatus, 0) << "the tool waited without showing its lines";
    ExpectText(tool, result.Output, "H\r\n" + kD7, "stdout");
    ExpectText(tool, ReadFile(dir.Path() / "_compileEnv.bat"), "H\r\n" + kD7, "file");
}

// Every file but the batch file is left as it was, the registry included.
TEST(EndToEnd, WritesNothingButTheBatchFile) {
    const Tool tool = ToolUnderTest();
    if (tool.windows) {
        GTEST_SKIP() << "Wine itself writes to its prefix";
    }
    ScratchDir dir;
    fs::create_directories(dir.Path() / "prefix");
    fs::copy_file(fs::path(FixturePrefix()) / "system.reg", dir.Path() / "prefix" / "system.reg");
    WriteFile(dir.Path() / "other.bat", "rem another file\r\n");
    const auto snapshot = [&dir] {
        std::map<std::string, std::pair<std::string, fs::file_time_type>> files;
        for (const auto& entry : fs::recursive_directory_iterator(dir.Path())) {
            files[entry.path().string()] = {ReadFile(entry.path()), entry.last_write_time()};
        }
        return files;
    };
    const auto before = snapshot();
    const ProcessResult result = RunIn(tool, dir.Path(), (dir.Path() / "prefix").string(),
                                       {"-D7", "-BCB6", "-D10", "-L"}, {});
    EXPECT_EQ(result.ExitStatus, 0);
    auto after = snapshot();
    EXPECT_EQ(after.erase((dir.Path() / "_compileEnv.bat").string()), 1u);
    EXPECT_TRUE(after == before);
}

// Windows programs split their command line themselves; these start the Windows build
// with an exact one through a small launcher (COMPENV_E2E_RAW_LAUNCHER).
TEST(EndToEnd, RawCommandLinesOnWindows) {
    const Tool tool = ToolUnderTest();
    const std::string launcher = Env("COMPENV_E2E_RAW_LAUNCHER");
    if (!tool.windows || launcher.empty()) {
        GTEST_SKIP() << "needs a Windows build and COMPENV_E2E_RAW_LAUNCHER";
    }
    const std::string application = WindowsPath(tool.exe);
    const std::string invalid = "Error - Invalid command line parameter [";
    struct Row {
        const char* name;
        std::string commandLine;
        std::string output;
        int status;
    };
    const Row rows[] = {
        {"quotes group blanks", "compenv.exe -D7 \"-q x\"", invalid + "-q x]\r\n", 1},
        {"quotes join parts", "compenv.exe \"-D\"7 -x\"y z\"w", invalid + "-xy zw]\r\n", 1},
        {"no escape character", "compenv.exe -q\\\"a b\"", invalid + "-q\\a b]\r\n", 1},
        {"lone quote pair is no argument", "compenv.exe \"\" -D7 \"\"", "", 0},
        {"tab separates", "compenv.exe -D7\t-q", invalid + "-q]\r\n", 1},
        {"control character separates", "compenv.exe -D7\x01-q", invalid + "-q]\r\n", 1},
        {"unterminated quote", "compenv.exe -D7 \"-q  ", invalid + "-q  ]\r\n", 1},
        {"quoted program name", "\"C:\\Some Dir\\compenv.exe\" -D7 -q", invalid + "-q]\r\n", 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchDir dir;
        const Tool raw{launcher, tool.launcher, true};
        ProcessOptions options;
        options.Environment = {"COMPENV_RAW_APPLICATION=" + application,
                               "COMPENV_RAW_COMMAND_LINE=" + row.commandLine};
        const ProcessResult result = RunIn(raw, dir.Path(), FixturePrefix(), {}, options);
        EXPECT_EQ(result.ExitStatus, row.status);
        EXPECT_EQ(result.Output, row.output);
        EXPECT_EQ(fs::exists(dir.Path() / "_compileEnv.bat"), row.status == 0);
    }
}

}  // namespace
}  // namespace compenv
