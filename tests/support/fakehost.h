#pragma once

#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "vqrt/vqrt.h"

class QWidget;

namespace testsupport {

/// Registry values in maps; names match exactly, so a test sees the very key paths asked for.
class FakeRegistry : public CRegistryReader {
public:
    void setString(const std::string& root, const std::string& key, const std::string& name,
                   const std::string& value) {
        strings_[{root, key, name}] = value;
    }
    void setDword(const std::string& root, const std::string& key, const std::string& name,
                  long value) {
        dwords_[{root, key, name}] = value;
    }
    void remove(const std::string& root, const std::string& key, const std::string& name) {
        strings_.erase({root, key, name});
        dwords_.erase({root, key, name});
    }

    int readString(const char* root, const char* keyPath, const char* valueName, char* out,
                   size_t outSize) override;
    int readDword(const char* root, const char* keyPath, const char* valueName, long* out) override;

private:
    using Key = std::tuple<std::string, std::string, std::string>;
    std::map<Key, std::string> strings_;
    std::map<Key, long> dwords_;
};

/// Progress, messages and a parent widget; can answer 32 (cancel) at the n-th progress step.
class FakeAgent : public CHostAgent {
public:
    int stepProgress(int blocks) override;
    void postMessage(int kind, const char* text) override;
    QWidget* getWidget(int, int) override { return widget; }
    int messageKind(int category, int level) override { return category + level; }

    int cancelAtStep = 0; ///< 1-based progress call that answers 32; 0 never cancels
    QWidget* widget = nullptr;
    std::vector<int> steps;
    std::vector<std::string> messages;
    std::vector<int> messageKinds;
};

/// Converts "C:\a\b" to <root>/a/b by replacing the drive and the backslashes, nothing more.
class FakeTools : public CVantryTools {
public:
    explicit FakeTools(std::string root) : root_(std::move(root)) {}
    void convertPath(const std::string& windowsPath, std::string& localPath) override;

private:
    std::string root_;
};

/// Lists one directory's entries whose names end in the extension, sorted by name.
class FakeFinder : public CFileFinder {
public:
    void setDirectory(const std::string& directory) override { directory_ = directory; }
    void setExtension(const std::string& extension) override { extension_ = extension; }
    std::vector<VQ::CVantryNode*>& search(std::vector<VQ::CVantryNode*>& nodes,
                                          bool recursive) override;

private:
    struct Node : VQ::CVantryNode {
        Node(std::string p, bool f) : path(std::move(p)), file(f) {}
        std::string getPath() const override { return path; }
        bool isFile() const override { return file; }
        std::string path;
        bool file;
    };
    std::string directory_;
    std::string extension_;
    std::vector<std::unique_ptr<Node>> nodes_;
};

/// Hands out the other fakes; each may be null.
class FakeArbiter : public CArbiter {
public:
    CHostAgent* getAgent() override { return agent; }
    CRegistryReader* getRegistry() override { return registry; }
    CVantryTools* getTools() override { return tools; }
    CFileFinder* getFinder(int) override { return finder; }

    CHostAgent* agent = nullptr;
    CRegistryReader* registry = nullptr;
    CVantryTools* tools = nullptr;
    CFileFinder* finder = nullptr;
};

/// Records the import record as lines: "begin NAME", "KEY=VALUE", "file KEY=VALUE", "end",
/// "flush".
class RecordingIO : public CBaseVantryIO {
public:
    void beginSection(const char* name) override { lines.push_back("begin " + text(name)); }
    void writeValue(const char* key, const char* value) override {
        lines.push_back(text(key) + "=" + text(value));
    }
    void endSection() override { lines.push_back("end"); }
    void flush() override {
        lines.push_back("flush");
        ++flushes;
    }
    void writeFileValue(const char* quotedLocalPath, const char* key) override {
        lines.push_back("file " + text(key) + "=" + text(quotedLocalPath));
    }

    std::vector<std::string> lines;
    int flushes = 0;

private:
    static std::string text(const char* s) { return s == nullptr ? "(null)" : s; }
};

/// A complete fake host over a Windows tree in `root`: registry, agent, tools, finder, arbiter.
struct FakeHost {
    explicit FakeHost(const std::string& root) : tools(root) {
        arbiter.agent = &agent;
        arbiter.registry = &registry;
        arbiter.tools = &tools;
        arbiter.finder = &finder;
    }

    FakeRegistry registry;
    FakeAgent agent;
    FakeTools tools;
    FakeFinder finder;
    FakeArbiter arbiter;
};

} // namespace testsupport
