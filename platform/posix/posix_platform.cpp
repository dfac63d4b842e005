// POSIX services: the arguments from argv, stdio for the console, a flock-ed file
// for the output, and a Wine prefix's registry file in place of the registry.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/wine_prefix_registry.h"

namespace compenv {

namespace {

class PosixProcess : public Process {
public:
    PosixProcess(int argc, char** argv) : args_(argv, argv + argc) {}

    std::vector<std::string> Arguments() const override { return args_; }

    std::string ExecutablePath() const override {
        std::vector<char> buffer(4096);
        for (;;) {
            const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
            if (length < 0) {
                return args_.empty() ? std::string() : args_[0];
            }
            if (static_cast<std::size_t>(length) < buffer.size()) {
                return std::string(buffer.data(), static_cast<std::size_t>(length));
            }
            buffer.resize(buffer.size() * 2);
        }
    }

private:
    std::vector<std::string> args_;
};

class PosixOutputFile : public OutputFile {
public:
    explicit PosixOutputFile(int fd) : fd_(fd) {}
    ~PosixOutputFile() override { close(fd_); }
    PosixOutputFile(const PosixOutputFile&) = delete;
    PosixOutputFile& operator=(const PosixOutputFile&) = delete;

    std::size_t Write(const std::string& bytes) override {
        std::size_t written = 0;
        while (written < bytes.size()) {
            const ssize_t n = write(fd_, bytes.data() + written, bytes.size() - written);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            written += static_cast<std::size_t>(n);
        }
        return written;
    }

    void Truncate() override { (void)ftruncate(fd_, 0); }

private:
    int fd_;
};

// "/a/./b/../c" -> "/a/c", without asking the file system about links.
std::string FoldDots(const std::string& absolute) {
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (pos <= absolute.size()) {
        std::size_t slash = absolute.find('/', pos);
        if (slash == std::string::npos) {
            slash = absolute.size();
        }
        const std::string part = absolute.substr(pos, slash - pos);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        pos = slash + 1;
    }
    std::string result;
    for (const auto& part : parts) {
        result += "/" + part;
    }
    return result.empty() ? "/" : result;
}

class PosixFileSystem : public FileSystem {
public:
    CreateFileResult CreateOrTruncate(const std::string& name) override {
        CreateFileResult result;
        // Opened without O_TRUNC: a file another run holds locked stays intact.
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd < 0) {
            result.FailureReason = std::strerror(errno);
            return result;
        }
        // Only a regular file has a length to cut; devices such as /dev/null take none.
        struct stat info {};
        if (flock(fd, LOCK_EX | LOCK_NB) != 0 || fstat(fd, &info) != 0 ||
            (S_ISREG(info.st_mode) && ftruncate(fd, 0) != 0)) {
            const int error = errno;
            close(fd);
            result.FailureReason = std::strerror(error);
            return result;
        }
        result.File = std::make_unique<PosixOutputFile>(fd);
        return result;
    }

    std::string FullPath(const std::string& name) override {
        if (name.empty()) {
            return name;
        }
        if (name[0] == '/') {
            return FoldDots(name);
        }
        std::vector<char> buffer(4096);
        while (getcwd(buffer.data(), buffer.size()) == nullptr) {
            if (errno != ERANGE) {
                return name;
            }
            buffer.resize(buffer.size() * 2);
        }
        return FoldDots(std::string(buffer.data()) + "/" + name);
    }

    bool NamesAreCaseSensitive() const override { return true; }
};

class StdioConsole : public Console {
public:
    void WriteLine(const std::string& text) override {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fwrite("\r\n", 1, 2, stdout);
    }

    void WaitForEnter() override {
        std::fflush(stdout);
        int c = 0;
        do {
            c = std::getchar();
        } while (c != EOF && c != '\n');
    }
};

// A closed standard descriptor would be handed out again by open(), and console
// output would then land in the batch file; park such a descriptor on /dev/null.
void ReopenClosedStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
            if (opened >= 0 && opened != fd) {
                dup2(opened, fd);
                close(opened);
            }
        }
    }
}

// $WINEPREFIX/system.reg, else $HOME/.wine/system.reg, as Wine finds its prefix.
std::string HivePath() {
    const char* prefix = std::getenv("WINEPREFIX");
    if (prefix && *prefix) {
        return std::string(prefix) + "/system.reg";
    }
    const char* home = std::getenv("HOME");
    if (home && *home) {
        return std::string(home) + "/.wine/system.reg";
    }
    return std::string();
}

class PosixPlatform : public PlatformServices {
public:
    PosixPlatform(int argc, char** argv, const std::string& registrySubtree)
        : process_(argc, argv), registry_(HivePath(), registrySubtree) {}

    Process& GetProcess() override { return process_; }
    Registry& GetRegistry() override { return registry_; }
    FileSystem& GetFileSystem() override { return files_; }
    Console& GetConsole() override { return console_; }

private:
    PosixProcess process_;
    WinePrefixRegistry registry_;
    PosixFileSystem files_;
    StdioConsole console_;
};

}  // namespace

std::unique_ptr<PlatformServices> CreatePlatformServices(int argc, char** argv,
                                                         const std::string& registrySubtree) {
    ReopenClosedStandardDescriptors();
    // A reader that went away must not end the run: write errors are ignored.
    std::signal(SIGPIPE, SIG_IGN);
    return std::make_unique<PosixPlatform>(argc, argv, registrySubtree);
}

}  // namespace compenv
