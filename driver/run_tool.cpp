#include "driver/run_tool.h"

#include <cstdint>
#include <vector>

#include "common/tool_error.h"
#include "locator/compiler_locator.h"
#include "script/environment_script.h"

namespace compenv {

struct RunState {
    ScriptLines Lines;
    std::int32_t ArgIndex = 1;
    std::string OutputFileName = "_compileEnv.bat";
    bool CompilerRequested = false;
    bool CompilerFound = false;
    bool ListMode = false;
};

namespace {

[[noreturn]] void RaiseInvalidParameter(const std::vector<std::string>& args,
                                        const RunState& state) {
    throw ToolError("Error - Invalid command line parameter [" +
                    args[static_cast<std::size_t>(state.ArgIndex)] + "]");
}

void HandleCompilerOption(RunServices services, const std::vector<std::string>& args,
                          const std::string& upperArg, RunState& state) {
    state.CompilerRequested = true;
    CompilerRequest request;
    try {
        request = DecodeCompilerOption(upperArg);
    } catch (const ToolError&) {
        RaiseInvalidParameter(args, state);
    }
    const std::string dir = ReadRootDir(services.registry, request.KeyPath);
    if (!dir.empty()) {
        state.CompilerFound = true;
        AddSetLine(state.Lines, request.VarName, dir);
    }
}

void Run(RunServices services, RunState& state) {
    AddHeaderLine(state.Lines, services.process);

    const std::vector<std::string> args = services.process.Arguments();
    const auto argCount = static_cast<std::int32_t>(args.size()) - 1;
    for (state.ArgIndex = 1; state.ArgIndex <= argCount; ++state.ArgIndex) {
        const std::string& arg = args[static_cast<std::size_t>(state.ArgIndex)];
        const std::string upperArg = UpperCaseAscii(arg);
        const std::string prefix = upperArg.substr(0, 2);
        if (prefix == "-D" || prefix == "-B") {
            HandleCompilerOption(services, args, upperArg, state);
        } else if (prefix == "-F") {
            // Where names differ by case, the path is kept as typed.
            const std::string& source = services.files.NamesAreCaseSensitive() ? arg : upperArg;
            state.OutputFileName = source.substr(2);
        } else if (prefix == "-L") {
            state.ListMode = true;
        } else {
            RaiseInvalidParameter(args, state);
        }
    }

    if (state.CompilerRequested && !state.CompilerFound && state.ListMode) {
        services.console.WriteLine("Error - No compilers installed");
    }
    if (state.ListMode) {
        PrintLines(state.Lines, services.console);
        services.console.WaitForEnter();
    }
    SaveScript(state.Lines, state.OutputFileName, services.files);
}

}  // namespace

std::string UpperCaseAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

int RunTool(RunServices services) {
    RunState state;
    try {
        Run(services, state);
    } catch (const ToolError& error) {
        services.console.WriteLine(error.what());
        return 1;
    }
    return 0;
}

}  // namespace compenv
