#include "support/fakehost.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace testsupport {

namespace {

std::string str(const char* text) {
    return text == nullptr ? std::string("(null)") : text;
}

} // namespace

int FakeRegistry::readString(const char* root, const char* keyPath, const char* valueName,
                             char* out, size_t outSize) {
    const auto it = strings_.find({str(root), str(keyPath), str(valueName)});
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
    const auto it = dwords_.find({str(root), str(keyPath), str(valueName)});
    if (it == dwords_.end()) {
        return 2;
    }
    *out = it->second;
    return 0;
}

int FakeAgent::stepProgress(int blocks) {
    steps.push_back(blocks);
    return static_cast<int>(steps.size()) == cancelAtStep ? 32 : 0;
}

void FakeAgent::postMessage(int kind, const char* text) {
    messageKinds.push_back(kind);
    messages.push_back(str(text));
}

void FakeTools::convertPath(const std::string& windowsPath, std::string& localPath) {
    std::string rest =
        windowsPath.size() >= 2 && windowsPath[1] == ':' ? windowsPath.substr(2) : windowsPath;
    std::replace(rest.begin(), rest.end(), '\\', '/');
    localPath = root_ + rest;
}

std::vector<VQ::CVantryNode*>& FakeFinder::search(std::vector<VQ::CVantryNode*>& nodes, bool) {
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
    nodes_.clear();
    for (const std::string& name : names) {
        const std::string path = directory_ + "/" + name;
        nodes_.push_back(std::make_unique<Node>(path, fs::is_regular_file(path, ec)));
    }
    nodes.clear();
    for (const auto& node : nodes_) {
        nodes.push_back(node.get());
    }
    return nodes;
}

} // namespace testsupport
