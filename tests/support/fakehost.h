#pragma once

#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "vqrt/vqrt.h"

class QWidget;

namespace testsupport {

/// Every host call of a run in order, as short texts ("readString HKEY_CURRENT_USER|key|name").
using CallLog = std::vector<std::string>;

/// Appends `text` to `log` when there is one.
inline void note(CallLog* log, std::string text) {
    if (log != nullptr) {
        log->push_back(std::move(text));
    }
}

/// Registry values in maps; names match exactly, so a test sees the very key paths asked for.
class FakeRegistry : public CRegistryReader {
public:
    explicit FakeRegistry(CallLog* log = nullptr) : log_(log) {}
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

    /// The capacities passed to readString, in call order.
    std::vector<size_t> capacities;

private:
    using Key = std::tuple<std::string, std::string, std::string>;
    CallLog* log_;
    std::map<Key, std::string> strings_;
    std::map<Key, long> dwords_;
};

/// Progress, messages and a parent widget; can answer 32 (cancel) at the n-th progress step.
class FakeAgent : public CHostAgent {
public:
    explicit FakeAgent(CallLog* log = nullptr) : log_(log) {}
    int stepProgress(int blocks) override;
    void postMessage(int kind, const char* text) override;
    QWidget* getWidget(int what, int flags) override;
    int messageKind(int category, int level) override;

    int cancelAtStep = 0; ///< 1-based progress call that answers 32; 0 never cancels
    QWidget* widget = nullptr;
    std::vector<int> steps;
    std::vector<std::string> messages;
    std::vector<int> messageKinds;

private:
    CallLog* log_;
};

/// Converts "C:\a\b" to <root>/a/b by replacing the drive and the backslashes, nothing more.
class FakeTools : public CVantryTools {
public:
    FakeTools(std::string root, CallLog* log = nullptr) : root_(std::move(root)), log_(log) {}
    void convertPath(const std::string& windowsPath, std::string& localPath) override;

private:
    std::string root_;
    CallLog* log_;
};

/// Lists one directory's entries whose names end in the extension, sorted by name.
class FakeFinder : public CFileFinder {
public:
    explicit FakeFinder(CallLog* log = nullptr) : log_(log) {}
    void setDirectory(const std::string& directory) override {
        note(log_, "setDirectory " + directory);
        directory_ = directory;
    }
    void setExtension(const std::string& extension) override {
        note(log_, "setExtension " + extension);
        extension_ = extension;
    }
    std::vector<VQ::CVantryNode*>& search(std::vector<VQ::CVantryNode*>& nodes,
                                          bool recursive) override;

    /// Extra nodes appended after the listed ones (path, isFile), for ordering tests.
    std::vector<std::pair<std::string, bool>> extra;

private:
    struct Node : VQ::CVantryNode {
        Node(std::string p, bool f) : path(std::move(p)), file(f) {}
        std::string getPath() const override { return path; }
        bool isFile() const override { return file; }
        std::string path;
        bool file;
    };
    CallLog* log_;
    std::string directory_;
    std::string extension_;
    std::vector<std::unique_ptr<Node>> nodes_;
};

/// Hands out the other fakes; each may be null.
class FakeArbiter : public CArbiter {
public:
    explicit FakeArbiter(CallLog* log = nullptr) : log_(log) {}
    CHostAgent* getAgent() override { return logged("getAgent", agent); }
    CRegistryReader* getRegistry() override { return logged("getRegistry", registry); }
    CVantryTools* getTools() override { return logged("getTools", tools); }
    CFileFinder* getFinder(int kind) override {
        return logged("getFinder " + std::to_string(kind), finder);
    }

    CHostAgent* agent = nullptr;
    CRegistryReader* registry = nullptr;
    CVantryTools* tools = nullptr;
    CFileFinder* finder = nullptr;

private:
    template <typename T> T* logged(std::string call, T* answer) {
        note(log_, std::move(call));
        return answer;
    }
    CallLog* log_;
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

/// A complete fake host over a Windows tree in `root`: registry, agent, tools, finder, arbiter,
/// all writing into one call log.
struct FakeHost {
    explicit FakeHost(const std::string& root) : tools(root, &log) {
        arbiter.agent = &agent;
        arbiter.registry = &registry;
        arbiter.tools = &tools;
        arbiter.finder = &finder;
    }

    CallLog log;
    FakeRegistry registry{&log};
    FakeAgent agent{&log};
    FakeTools tools;
    FakeFinder finder{&log};
    FakeArbiter arbiter{&log};
};

} // namespace testsupport
