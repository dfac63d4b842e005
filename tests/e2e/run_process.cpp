#include "run_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace compenv::testing {

namespace {

// Collects the child's exit status and peak memory; false while it still runs.
bool Reap(pid_t pid, int flags, ProcessResult& result) {
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, flags, &usage) != pid) {
        return false;
    }
    result.ExitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.MaxRssKiB = usage.ru_maxrss;
    return true;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
    ProcessResult result;
    int out[2];
    int in[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(in, O_CLOEXEC) != 0) {
        return result;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        if (options.CloseStdin) {
            close(0);
        } else {
            dup2(in[0], 0);
        }
        if (options.CloseStdout) {
            close(1);
        } else {
            dup2(out[1], 1);
        }
        if (!options.WorkingDirectory.empty() && chdir(options.WorkingDirectory.c_str()) != 0) {
            _exit(127);
        }
        for (const auto& pair : options.Environment) {
            putenv(const_cast<char*>(pair.c_str()));
        }
        std::vector<char*> args;
        for (const auto& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    close(in[0]);
    if (options.ReadNoOutput) {
        close(out[0]);
        out[0] = -1;
    }
    signal(SIGPIPE, SIG_IGN);
    const auto sendInput = [&options, &in] {
        std::size_t written = 0;
        while (written < options.Input.size()) {
            const ssize_t n =
                write(in[1], options.Input.data() + written, options.Input.size() - written);
            if (n <= 0) {
                break;
            }
            written += static_cast<std::size_t>(n);
        }
        close(in[1]);
        in[1] = -1;
    };
    if (options.InputAfter.empty()) {
        sendInput();
    }

    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(options.TimeoutSeconds);
    char buffer[65536];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            kill(pid, SIGKILL);
            break;
        }
        if (out[0] < 0) {
            // Nothing to read: wait for the child alone.
            if (Reap(pid, WNOHANG, result)) {
                return result;
            }
            usleep(10000);
            continue;
        }
        pollfd fd{out[0], POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        result.Output.append(buffer, static_cast<std::size_t>(n));
        if (in[1] >= 0 && result.Output.find(options.InputAfter) != std::string::npos) {
            sendInput();
        }
    }
    if (in[1] >= 0) {
        close(in[1]);
    }
    if (out[0] >= 0) {
        close(out[0]);
    }
    Reap(pid, 0, result);
    return result;
}

}  // namespace compenv::testing
