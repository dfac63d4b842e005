#include "fakes.h"

namespace compenv::testing {

namespace {

class FakeKey : public RegistryKey {
public:
    FakeKey(FakeRegistry& registry, const std::map<std::string, FakeValue>& values)
        : registry_(registry), values_(values) {
        ++registry_.OpenKeys;
    }
    ~FakeKey() override { --registry_.OpenKeys; }
    FakeKey(const FakeKey&) = delete;
    FakeKey& operator=(const FakeKey&) = delete;

    std::optional<RegistryValueInfo> QueryValueInfo(const std::string& name) override {
        const auto found = values_.find(name);
        if (found == values_.end()) {
            return std::nullopt;
        }
        return RegistryValueInfo{found->second.Type,
                                 static_cast<std::uint32_t>(found->second.Bytes.size())};
    }

    std::optional<RegistryValueData> QueryValueData(const std::string& name,
                                                    std::uint32_t bufferSize) override {
        const auto found = values_.find(name);
        if (registry_.FailDataRead || found == values_.end() ||
            found->second.Bytes.size() > bufferSize) {
            return std::nullopt;
        }
        return RegistryValueData{found->second.Type, found->second.Bytes};
    }

private:
    FakeRegistry& registry_;
    const std::map<std::string, FakeValue>& values_;
};

class FakeOutputFile : public OutputFile {
public:
    FakeOutputFile(FakeFileSystem& files, FakeFile& file) : files_(files), file_(file) {
        ++files_.OpenFiles;
    }
    ~FakeOutputFile() override { --files_.OpenFiles; }
    FakeOutputFile(const FakeOutputFile&) = delete;
    FakeOutputFile& operator=(const FakeOutputFile&) = delete;

    std::size_t Write(const std::string& bytes) override {
        const std::size_t room =
            files_.WriteLimit - std::min(files_.WriteLimit, file_.Content.size());
        const std::size_t taken = std::min(room, bytes.size());
        file_.Content += bytes.substr(0, taken);
        return taken;
    }

    void Truncate() override { file_.Content.clear(); }

private:
    FakeFileSystem& files_;
    FakeFile& file_;
};

}  // namespace

FakeValue StringValue(const std::string& text, std::uint32_t type) {
    return FakeValue{type, text + '\0'};
}

std::unique_ptr<RegistryKey> FakeRegistry::OpenLocalMachineKey(const std::string& path) {
    ++Opens;
    const auto found = Keys.find(path);
    if (found == Keys.end()) {
        return nullptr;
    }
    return std::make_unique<FakeKey>(*this, found->second);
}

CreateFileResult FakeFileSystem::CreateOrTruncate(const std::string& name) {
    CreateFileResult result;
    if (Events) {
        Events->push_back("save " + name);
    }
    if (name.empty() || name.back() == '/') {
        result.FailureReason = "No such file or directory";
        return result;
    }
    FakeFile& file = Files[name];
    if (file.Locked) {
        result.FailureReason = "The process cannot access the file.\r\n";
        return result;
    }
    file.Content.clear();
    result.File = std::make_unique<FakeOutputFile>(*this, file);
    return result;
}

void FakeConsole::WriteLine(const std::string& text) {
    Output += text + "\r\n";
    if (Events) {
        Events->push_back("print " + text);
    }
}

void FakeConsole::WaitForEnter() {
    if (Events) {
        Events->push_back("wait");
    }
}

}  // namespace compenv::testing
