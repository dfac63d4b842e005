// Failing surroundings and hostile input. Every case ends with a clear message or the
// defined behaviour within the run's time limit (RunProcess kills it after that), and
// never loses the file an earlier run left nor leaves part of a new one.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <random>

#include "e2e_support.h"

namespace compenv {
namespace {

namespace fs = std::filesystem;
using namespace compenv::testing;

const std::string kEarlier = "rem left by an earlier run\r\n";
const std::string kD7Line = "set cmpD7=C:\\Program Files\\Borland\\Delphi7\r\n";
const std::string kInvalid = "Error - Invalid command line parameter [";
const uid_t kNobody = 65534;

// A Wine prefix key holding the Delphi 7 RootDir, as a hive's text.
std::string D7Key(const std::string& data) {
    return "[Software\\\\Wow6432Node\\\\Borland\\\\Delphi\\\\7.0] 1797002787\n\"RootDir\"=" + data +
           "\n";
}
const std::string kD7Key = D7Key("\"C:\\\\Program Files\\\\Borland\\\\Delphi7\"");

// Checks a batch file written whole: the header, then `lines` exactly.
void ExpectWritten(const std::string& file, const std::string& lines) {
    ASSERT_EQ(file.rfind(kHeaderText, 0), 0u) << file.substr(0, 200);
    const std::size_t headerEnd = file.find("\r\n");
    ASSERT_NE(headerEnd, std::string::npos);
    EXPECT_TRUE(file.compare(headerEnd + 2, std::string::npos, lines) == 0) << file.substr(0, 400);
}

// Arguments to run a program as a user to whom file modes apply: nobody when the
// tests run as root, who may write to any file.
std::vector<std::string> AsUnprivilegedUser() {
    if (geteuid() != 0) {
        return {};
    }
    return {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
}

// A scratch directory that the user nobody may write to.
void OpenToNobody(const fs::path& dir) { chmod(dir.c_str(), 0777); }

// --- The output file -------------------------------------------------------------

TEST(HostileOutput, AFullDiskGivesAWriteErrorAndNoFile) {
    const Tool tool = ToolUnderTest();
    if (tool.windows || !fs::exists("/dev/full")) {
        GTEST_SKIP() << "needs the native build and /dev/full";
    }
    ScratchDir dir;
    WriteFile(dir.Path() / "_compileEnv.bat", kEarlier);
    const ProcessResult result = RunIn(tool, dir.Path(), FixturePrefix(), {"-D7", "-F/dev/full"});
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_EQ(result.Output, "Stream write error\r\n");
    EXPECT_EQ(ReadFile(dir.Path() / "_compileEnv.bat"), kEarlier);
}

TEST(HostileOutput, APathOf4000CharactersIsACreationFailure) {
    const Tool tool = ToolUnderTest();
    ScratchDir dir;
    WriteFile(dir.Path() / "_compileEnv.bat", kEarlier);
    const std::string name(4000, 'x');
    const ProcessResult result = RunIn(tool, dir.Path(), FixturePrefix(), {"-D7", "-F" + name});
    EXPECT_EQ(result.ExitStatus, 1);
    ExpectCreationFailure(result.Output, tool.windows ? std::string(4000, 'X') : name);
    EXPECT_EQ(ReadFile(dir.Path() / "_compileEnv.bat"), kEarlier);
}

TEST(HostileOutput, AFileHeldByAnotherProcessIsLeftAlone) {
    const Tool tool = ToolUnderTest();
    ScratchDir dir;
    const fs::path target = dir.Path() / (tool.windows ? "HELD.BAT" : "held.bat");
    WriteFile(target, kEarlier);
    ProcessResult result;
    if (tool.windows) {
        // The holder must be a Windows process: Wine keeps share modes among its own.
        const std::string launcher = Env("COMPENV_E2E_RAW_LAUNCHER");
        if (launcher.empty()) {
            GTEST_SKIP() << "needs COMPENV_E2E_RAW_LAUNCHER";
        }
        ProcessOptions options;
        options.Environment = {"COMPENV_RAW_APPLICATION=" + WindowsPath(tool.exe),
                               "COMPENV_RAW_COMMAND_LINE=compenv.exe -D7 -Fheld.bat",
                               "COMPENV_RAW_HOLD_FILE=" + WindowsPath(target)};
        result = RunIn({launcher, tool.launcher, true}, dir.Path(), FixturePrefix(), {}, options);
    } else {
        const int held = open(target.c_str(), O_RDWR | O_CLOEXEC);
        ASSERT_GE(held, 0);
        ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
        result = RunIn(tool, dir.Path(), FixturePrefix(), {"-D7", "-Fheld.bat"});
        close(held);
    }
    EXPECT_EQ(result.ExitStatus, 1);
    ExpectCreationFailure(result.Output, tool.windows ? "\\HELD.BAT" : "/held.bat");
    EXPECT_EQ(ReadFile(target), kEarlier);
}

TEST(HostileOutput, AReadOnlyFileIsLeftAlone) {
    const Tool tool = ToolUnderTest();
    std::vector<std::string> argv = AsUnprivilegedUser();
    if (!argv.empty() && !fs::exists(argv[0])) {
        GTEST_SKIP() << "needs setpriv";
    }
    ScratchDir dir;
    OpenToNobody(dir.Path());
    const fs::path target = dir.Path() / (tool.windows ? "RO.BAT" : "ro.bat");
    WriteFile(target, kEarlier);
    fs::permissions(target, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

    ProcessOptions options;
    options.WorkingDirectory = dir.Path().string();
    std::string prefix = FixturePrefix();
    if (tool.windows) {
        // Wine runs only in a prefix its user owns: nobody gets a new one (made on first use).
        const fs::path home = dir.Path() / "home";
        fs::create_directory(home);
        if (!argv.empty()) {
            ASSERT_EQ(chown(home.c_str(), kNobody, kNobody), 0);
        }
        prefix = (home / "prefix").string();
        options.Environment = {"HOME=" + home.string(), "WINEDLLOVERRIDES=mscoree,mshtml="};
        options.TimeoutSeconds = 120;
        argv.push_back(tool.launcher);
    }
    options.Environment.push_back("WINEPREFIX=" + prefix);
    options.Environment.push_back("WINEDEBUG=-all");
    argv.push_back(tool.exe);
    argv.push_back("-Fro.bat");
    const ProcessResult result = RunProcess(argv, options);
    EXPECT_EQ(result.ExitStatus, 1);
    ExpectCreationFailure(result.Output, tool.windows ? "\\RO.BAT" : "/ro.bat");
    EXPECT_EQ(ReadFile(target), kEarlier);
}

// --- The console -------------------------------------------------------------------

TEST(HostileConsole, ListModeSavesWhateverTheConsoleDoes) {
    const Tool tool = ToolUnderTest();
    struct Row {
        const char* name;
        std::function<void(ProcessOptions&)> setUp;
    };
    const Row rows[] = {
        {"stdout closed", [](ProcessOptions& o) { o.CloseStdout = true; }},
        {"stdout a pipe nobody reads", [](ProcessOptions& o) { o.ReadNoOutput = true; }},
        {"stdin closed", [](ProcessOptions& o) { o.CloseStdin = true; }},
        {"stdin at its end at once", [](ProcessOptions& o) { o.Input = ""; }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchDir dir;
        WriteFile(dir.Path() / "_compileEnv.bat", kEarlier);
        ProcessOptions options;
        options.Input = "\n";
        row.setUp(options);
        const ProcessResult result =
            RunIn(tool, dir.Path(), FixturePrefix(), {"-D7", "-L"}, options);
        EXPECT_EQ(result.ExitStatus, 0);
        // Nothing printed may end up in the batch file, even with stdout closed.
        ExpectWritten(ReadFile(dir.Path() / "_compileEnv.bat"), kD7Line);
    }
}

// --- Arguments ---------------------------------------------------------------------

TEST(HostileArguments, ManyLongOddAndEmptyArguments) {
    const Tool tool = ToolUnderTest();
    if (tool.windows) {
        // A Windows command line holds at most 32,767 characters and splits at control
        // characters: the Windows cases are in RawArgumentsOnWindows.
        GTEST_SKIP() << "native build only";
    }
    const std::string longArg = "-q" + std::string(128 * 1024 - 8, 'x');  // near Linux's limit
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::string output;
        int status;
        std::string lines;  // the set lines written, when the run succeeds
    };
    std::vector<Row> rows = {
        {"100,000 options", std::vector<std::string>(100000, "-D7"), "", 0, ""},
        {"100,000 arguments, the last one invalid", std::vector<std::string>(99999, "-L"),
         kInvalid + "-q]\r\n", 1, ""},
        {"an argument of 128 KiB", {"-D7", longArg}, kInvalid + longArg + "]\r\n", 1, ""},
        {"bytes 0x80-0xFF and control characters",
         {"-D7", "-q\x80\xfe\xff\x01\x1f\x7f"},
         kInvalid + "-q\x80\xfe\xff\x01\x1f\x7f]\r\n",
         1,
         ""},
        {"an empty argument", {"-D7", ""}, kInvalid + "]\r\n", 1, ""},
    };
    rows[1].args.push_back("-q");
    for (int i = 0; i < 100000; ++i) {
        rows[0].lines += kD7Line;
    }
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchDir dir;
        WriteFile(dir.Path() / "_compileEnv.bat", kEarlier);
        const ProcessResult result = RunIn(tool, dir.Path(), FixturePrefix(), row.args);
        EXPECT_EQ(result.ExitStatus, row.status);
        EXPECT_TRUE(result.Output == row.output) << result.Output.substr(0, 200);
        const std::string file = ReadFile(dir.Path() / "_compileEnv.bat");
        if (row.status == 0) {
            ExpectWritten(file, row.lines);
        } else {
            EXPECT_EQ(file, kEarlier);
        }
    }
}

TEST(HostileArguments, OutputNameWithHighBytes) {
    const Tool tool = ToolUnderTest();
    if (tool.windows) {
        GTEST_SKIP() << "native build only";
    }
    ScratchDir dir;
    const std::string name = "env\x80\xff\x01.bat";
    const ProcessResult result = RunIn(tool, dir.Path(), FixturePrefix(), {"-F" + name, "-D7"});
    EXPECT_EQ(result.ExitStatus, 0);
    ExpectWritten(ReadFile(dir.Path() / name), kD7Line);
}

TEST(HostileArguments, RawArgumentsOnWindows) {
    const Tool tool = ToolUnderTest();
    const std::string launcher = Env("COMPENV_E2E_RAW_LAUNCHER");
    if (!tool.windows || launcher.empty()) {
        GTEST_SKIP() << "needs a Windows build and COMPENV_E2E_RAW_LAUNCHER";
    }
    const std::string longArg = "-q" + std::string(30000, 'x');
    std::string manyArgs = "compenv.exe";
    for (int i = 0; i < 10000; ++i) {
        manyArgs += " -L";
    }
    struct Row {
        const char* name;
        std::string commandLine;
        std::string output;
    };
    const Row rows[] = {
        {"an argument of 30,000 characters", "compenv.exe -D7 " + longArg,
         kInvalid + longArg + "]\r\n"},
        {"10,000 arguments, the last one invalid", manyArgs + " -q", kInvalid + "-q]\r\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchDir dir;
        WriteFile(dir.Path() / "_compileEnv.bat", kEarlier);
        ProcessOptions options;
        options.Environment = {"COMPENV_RAW_APPLICATION=" + WindowsPath(tool.exe),
                               "COMPENV_RAW_COMMAND_LINE=" + row.commandLine};
        const ProcessResult result =
            RunIn({launcher, tool.launcher, true}, dir.Path(), FixturePrefix(), {}, options);
        EXPECT_EQ(result.ExitStatus, 1);
        EXPECT_TRUE(result.Output == row.output) << result.Output.substr(0, 200);
        EXPECT_EQ(ReadFile(dir.Path() / "_compileEnv.bat"), kEarlier);
    }
}

// --- Registry data -------------------------------------------------------------------

// Writes the part of a system.reg after its header.
using HiveWriter = std::function<void(std::ostream&)>;

HiveWriter Text(std::string text) {
    return [text = std::move(text)](std::ostream& out) { out << text; };
}

// A hive holding just the Delphi 7 key with `data` as its RootDir.
HiveWriter D7Hive(const std::string& data) { return Text(D7Key(data)); }

struct RegistryRow {
    std::string name;
    HiveWriter hive;
    std::string output;  // standard output of `compenv -D7`
    int status;
    std::string lines;  // set lines written when the run succeeds
};

// Runs `compenv -D7` natively on each row's hive.
void RunRegistryRows(const std::vector<RegistryRow>& rows) {
    const Tool tool = ToolUnderTest();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchDir dir;
        WriteFile(dir.Path() / "_compileEnv.bat", kEarlier);
        const std::string prefix = MakePrefix(dir.Path(), "");
        {
            std::ofstream out(fs::path(prefix) / "system.reg", std::ios::binary | std::ios::app);
            row.hive(out);
        }
        const ProcessResult result = RunIn(tool, dir.Path(), prefix, {"-D7"});
        EXPECT_EQ(result.ExitStatus, row.status);
        EXPECT_EQ(result.Output, row.output);
        const std::string file = ReadFile(dir.Path() / "_compileEnv.bat");
        if (row.status == 0) {
            ExpectWritten(file, row.lines);
        } else {
            EXPECT_EQ(file, kEarlier);
        }
        // The hive is streamed, never held whole (the test itself holds little, since a
        // child's peak counts what it shared with the test before starting the tool;
        // under AddressSanitizer, the `asan` test preset keeps freed memory's
        // quarantine small for the same reason).
        EXPECT_LT(result.MaxRssKiB, 64 * 1024);
    }
}

TEST(HostileRegistry, RootDirOfEveryTypeAndSize) {
    if (ToolUnderTest().windows) {
        GTEST_SKIP() << "reads a prefix's system.reg: native build only";
    }
    const std::string big = "C:\\" + std::string(1024 * 1024, 'a');
    const std::string badType = "Invalid data type for 'RootDir'\r\n";
    RunRegistryRows({
        {"a RootDir of 1 MiB", D7Hive("\"C:\\\\" + std::string(1024 * 1024, 'a') + "\""), "", 0,
         "set cmpD7=" + big + "\r\n"},
        {"REG_SZ", D7Hive("\"C:\\\\D7\""), "", 0, "set cmpD7=C:\\D7\r\n"},
        {"REG_EXPAND_SZ", D7Hive("str(2):\"%X%\\\\D7\""), "", 0, "set cmpD7=%X%\\D7\r\n"},
        {"REG_SZ without its zero", D7Hive("hex(1):43,00,3a,00"), "", 0, "set cmpD7=C:\r\n"},
        {"REG_SZ of no bytes", D7Hive("hex(1):"), "", 0, ""},
        {"REG_NONE of no bytes", D7Hive("hex(0):"), "", 0, ""},
        {"REG_NONE", D7Hive("hex(0):43,00"), badType, 1, ""},
        {"REG_BINARY", D7Hive("hex:43,3a,5c,00"), badType, 1, ""},
        {"REG_DWORD", D7Hive("dword:00000007"), badType, 1, ""},
        {"REG_MULTI_SZ", D7Hive("str(7):\"C:\\\\D7\\0\""), badType, 1, ""},
        {"REG_QWORD", D7Hive("hex(b):07,00,00,00,00,00,00,00"), badType, 1, ""},
        {"a type number of 0xffffffff", D7Hive("hex(ffffffff):43,00"), badType, 1, ""},
        {"a malformed value", D7Hive("dword:zz"), "", 0, ""},
    });
}

TEST(HostileRegistry, AZeroAtEachPositionCutsTheDirectory) {
    if (ToolUnderTest().windows) {
        GTEST_SKIP() << "reads a prefix's system.reg: native build only";
    }
    const std::string dir = "C:\\Borland\\D7\\";
    std::vector<RegistryRow> rows;
    for (std::size_t at = 0; at < dir.size(); ++at) {
        std::string escaped;
        for (std::size_t i = 0; i < dir.size(); ++i) {
            escaped += i == at          ? std::string("\\000")
                       : dir[i] == '\\' ? "\\\\"
                                        : std::string(1, dir[i]);
        }
        std::string kept = dir.substr(0, at);
        if (!kept.empty() && kept.back() == '\\') {
            kept.pop_back();
        }
        rows.push_back({"zero at " + std::to_string(at), D7Hive("\"" + escaped + "\""), "", 0,
                        kept.empty() ? "" : "set cmpD7=" + kept + "\r\n"});
    }
    RunRegistryRows(rows);
}

TEST(HostileRegistry, DamagedAndHugeHives) {
    if (ToolUnderTest().windows) {
        GTEST_SKIP() << "reads a prefix's system.reg: native build only";
    }
    const HiveWriter garbage = [](std::ostream& out) {
        std::mt19937 random(20261211);
        for (int i = 0; i < 1024 * 1024; ++i) {
            out.put(static_cast<char>(random()));
        }
        out << "\n" << kD7Key;
    };
    const HiveWriter overlongLine = [](std::ostream& out) {
        out << "[Software\\\\X]\n\"Big\"=\"";
        const std::string chunk(1024 * 1024, 'b');
        for (int i = 0; i < 17; ++i) {
            out << chunk;
        }
        out << "\"\n" << kD7Key;
    };
    const HiveWriter otherKeys = [](std::ostream& out) {
        const std::string values = "] 1797002787\n#time=1dd8983fd63551c\n\"Name\"=\"" +
                                   std::string(400, 'v') + "\"\n\"Number\"=dword:00000001\n\n";
        for (int i = 0; out.tellp() < 200 * 1024 * 1024; ++i) {
            out << "[Software\\\\Classes\\\\Filler" << i << values;
        }
        out << kD7Key;
    };
    std::string nested = "[Software\\\\Wow6432Node\\\\Borland\\\\Delphi\\\\7.0";
    for (int i = 0; i < 10000; ++i) {
        nested += "\\\\k";
    }
    nested += "] 1797002787\n\"RootDir\"=\"C:\\\\Nested\"\n";
    std::string longHex = "\"Blob\"=hex:";
    for (int i = 0; i < 1024 * 1024 / 3; ++i) {
        longHex += "00,";
    }
    longHex += "00\n";

    const std::string found = "set cmpD7=C:\\Program Files\\Borland\\Delphi7\r\n";
    RunRegistryRows({
        {"binary garbage before the key", garbage, "", 0, found},
        {"200 MB of other keys", otherKeys, "", 0, found},
        {"a comment line of 1 MiB", Text(";" + std::string(1024 * 1024, 'c') + "\n" + kD7Key), "",
         0, found},
        {"a value of 1 MiB on one line before the key's",
         Text("[Software\\\\Wow6432Node\\\\Borland\\\\Delphi\\\\7.0]\n" + longHex +
              "\"RootDir\"=\"C:\\\\Program Files\\\\Borland\\\\Delphi7\"\n"),
         "", 0, found},
        {"a line of 17 MiB, past the longest line kept", overlongLine, "", 0, found},
        {"10,000 nested keys", Text(nested + kD7Key), "", 0, found},
        {"cut in the middle of the key's value", Text(kD7Key.substr(0, kD7Key.size() - 12)), "", 0,
         ""},
    });
}

TEST(HostileRegistry, ATruncatedHiveNeverBreaksARun) {
    if (ToolUnderTest().windows) {
        GTEST_SKIP() << "reads a prefix's system.reg: native build only";
    }
    const std::string whole = ReadFile(fs::path(FixturePrefix()) / "system.reg");
    ASSERT_GT(whole.size(), 100u);
    const std::string d7Value = "\"RootDir\"=\"C:\\\\Program Files\\\\Borland\\\\Delphi7\\\\\"\n";
    const std::size_t d7End = whole.find(d7Value) + d7Value.size();
    const Tool tool = ToolUnderTest();
    for (std::size_t cut = 0; cut <= whole.size(); cut += 7) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        ScratchDir dir;
        fs::create_directories(dir.Path() / "prefix");
        WriteFile(dir.Path() / "prefix" / "system.reg", whole.substr(0, cut));
        const ProcessResult result =
            RunIn(tool, dir.Path(), (dir.Path() / "prefix").string(), {"-D7", "-BCB6"});
        EXPECT_EQ(result.ExitStatus, 0);
        EXPECT_EQ(result.Output, "");
        const std::string file = ReadFile(dir.Path() / "_compileEnv.bat");
        ASSERT_EQ(file.rfind(kHeaderText, 0), 0u);
        const bool d7Found = file.find(kD7Line) != std::string::npos;
        // The value's last line counts once its closing quote is there.
        EXPECT_EQ(d7Found, cut + 1 >= d7End) << file;
    }
}

}  // namespace
}  // namespace compenv
