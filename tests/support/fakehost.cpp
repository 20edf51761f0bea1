#include "support/fakehost.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace testsupport {

namespace {

void note(CallLog* log, std::string text) {
    if (log != nullptr) {
        log->push_back(std::move(text));
    }
}

std::string str(const char* text) {
    return text == nullptr ? std::string("(null)") : text;
}

} // namespace

void FakeRegistry::setString(const std::string& root, const std::string& key,
                             const std::string& name, const std::string& value) {
    strings_[Key(root, key, name)] = value;
}

void FakeRegistry::setDword(const std::string& root, const std::string& key,
                            const std::string& name, long value) {
    dwords_[Key(root, key, name)] = value;
}

void FakeRegistry::remove(const std::string& root, const std::string& key,
                          const std::string& name) {
    strings_.erase(Key(root, key, name));
    dwords_.erase(Key(root, key, name));
}

int FakeRegistry::readString(const char* root, const char* keyPath, const char* valueName,
                             char* out, size_t outSize) {
    note(log_, "readString " + str(root) + "|" + str(keyPath) + "|" + str(valueName));
    capacities.push_back(outSize);
    const auto it = strings_.find(Key(str(root), str(keyPath), str(valueName)));
    if (it == strings_.end() || outSize == 0) {
        return 2;
    }
    const size_t n = std::min(it->second.size(), outSize - 1);
    std::memcpy(out, it->second.data(), n);
    out[n] = '\0';
    return 0;
}

int FakeRegistry::readDword(const char* root, const char* keyPath, const char* valueName,
                            long* out) {
    note(log_, "readDword " + str(root) + "|" + str(keyPath) + "|" + str(valueName));
    const auto it = dwords_.find(Key(str(root), str(keyPath), str(valueName)));
    if (it == dwords_.end()) {
        return 2;
    }
    *out = it->second;
    return 0;
}

int FakeAgent::stepProgress(int blocks) {
    note(log_, "stepProgress " + std::to_string(blocks));
    steps.push_back(blocks);
    return static_cast<int>(steps.size()) == cancelAtStep ? 32 : 0;
}

void FakeAgent::postMessage(int kind, const char* text) {
    note(log_, "postMessage " + str(text));
    messageKinds.push_back(kind);
    messages.push_back(str(text));
}

QWidget* FakeAgent::getWidget(int what, int flags) {
    note(log_, "getWidget " + std::to_string(what) + " " + std::to_string(flags));
    return widget;
}

int FakeAgent::messageKind(int category, int level) {
    note(log_, "messageKind " + std::to_string(category) + " " + std::to_string(level));
    return category + level;
}

void FakeTools::convertPath(const std::string& windowsPath, std::string& localPath) {
    note(log_, "convertPath " + windowsPath);
    std::string rest = windowsPath;
    if (rest.size() >= 2 && rest[1] == ':') {
        rest.erase(0, 2);
    }
    std::replace(rest.begin(), rest.end(), '\\', '/');
    localPath = root_ + rest;
}

class FakeFinder::Node : public VQ::CVantryNode {
public:
    Node(std::string path, bool file) : path_(std::move(path)), file_(file) {}
    std::string getPath() const override { return path_; }
    bool isFile() const override { return file_; }

private:
    std::string path_;
    bool file_;
};

FakeFinder::FakeFinder(CallLog* log) : log_(log) {}

FakeFinder::~FakeFinder() = default;

void FakeFinder::setDirectory(const std::string& directory) {
    note(log_, "setDirectory " + directory);
    directory_ = directory;
}

void FakeFinder::setExtension(const std::string& extension) {
    note(log_, "setExtension " + extension);
    extension_ = extension;
}

std::vector<VQ::CVantryNode*>& FakeFinder::search(std::vector<VQ::CVantryNode*>& nodes,
                                                  bool recursive) {
    note(log_, std::string("search ") + (recursive ? "true" : "false"));
    nodes_.clear();
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(directory_, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() >= extension_.size() &&
            name.compare(name.size() - extension_.size(), extension_.size(), extension_) == 0) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string path = directory_ + "/" + name;
        nodes_.push_back(std::make_unique<Node>(path, fs::is_regular_file(path, ec)));
    }
    for (const auto& [path, file] : extra) {
        nodes_.push_back(std::make_unique<Node>(path, file));
    }
    nodes.clear();
    for (const auto& node : nodes_) {
        nodes.push_back(node.get());
    }
    return nodes;
}

CHostAgent* FakeArbiter::getAgent() {
    note(log_, "getAgent");
    return agent;
}

CRegistryReader* FakeArbiter::getRegistry() {
    note(log_, "getRegistry");
    return registry;
}

CVantryTools* FakeArbiter::getTools() {
    note(log_, "getTools");
    return tools;
}

CFileFinder* FakeArbiter::getFinder(int kind) {
    note(log_, "getFinder " + std::to_string(kind));
    return finder;
}

void RecordingIO::beginSection(const char* name) {
    lines.push_back("begin " + str(name));
}

void RecordingIO::writeValue(const char* key, const char* value) {
    lines.push_back(str(key) + "=" + str(value));
}

void RecordingIO::endSection() {
    lines.push_back("end");
}

void RecordingIO::flush() {
    lines.push_back("flush");
    ++flushes;
}

void RecordingIO::writeFileValue(const char* quotedLocalPath, const char* key) {
    lines.push_back("file " + str(key) + "=" + str(quotedLocalPath));
}

FakeHost::FakeHost(const std::string& root) : tools(root, &log) {
    arbiter.agent = &agent;
    arbiter.registry = &registry;
    arbiter.tools = &tools;
    arbiter.finder = &finder;
}

} // namespace testsupport
