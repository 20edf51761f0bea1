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

/// Registry values in maps; names match exactly, so a test sees the very key paths asked for.
class FakeRegistry : public CRegistryReader {
public:
    explicit FakeRegistry(CallLog* log = nullptr) : log_(log) {}
    void setString(const std::string& root, const std::string& key, const std::string& name,
                   const std::string& value);
    void setDword(const std::string& root, const std::string& key, const std::string& name,
                  long value);
    void remove(const std::string& root, const std::string& key, const std::string& name);

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
    explicit FakeFinder(CallLog* log = nullptr);
    ~FakeFinder() override;
    void setDirectory(const std::string& directory) override;
    void setExtension(const std::string& extension) override;
    std::vector<VQ::CVantryNode*>& search(std::vector<VQ::CVantryNode*>& nodes,
                                          bool recursive) override;

    /// Extra nodes appended after the listed ones (path, isFile), for ordering tests.
    std::vector<std::pair<std::string, bool>> extra;

private:
    class Node;
    CallLog* log_;
    std::string directory_;
    std::string extension_;
    std::vector<std::unique_ptr<Node>> nodes_;
};

/// Hands out the other fakes; each may be null.
class FakeArbiter : public CArbiter {
public:
    explicit FakeArbiter(CallLog* log = nullptr) : log_(log) {}
    CHostAgent* getAgent() override;
    CRegistryReader* getRegistry() override;
    CVantryTools* getTools() override;
    CFileFinder* getFinder(int kind) override;

    CHostAgent* agent = nullptr;
    CRegistryReader* registry = nullptr;
    CVantryTools* tools = nullptr;
    CFileFinder* finder = nullptr;

private:
    CallLog* log_;
};

/// Records the import record as lines: "begin NAME", "KEY=VALUE", "file KEY=VALUE", "end",
/// "flush".
class RecordingIO : public CBaseVantryIO {
public:
    void beginSection(const char* name) override;
    void writeValue(const char* key, const char* value) override;
    void endSection() override;
    void flush() override;
    void writeFileValue(const char* quotedLocalPath, const char* key) override;

    std::vector<std::string> lines;
    int flushes = 0;
};

/// A complete fake host over a Windows tree in `root`: registry, agent, tools, finder, arbiter,
/// all writing into one call log.
struct FakeHost {
    explicit FakeHost(const std::string& root);

    CallLog log;
    FakeRegistry registry{&log};
    FakeAgent agent{&log};
    FakeTools tools;
    FakeFinder finder{&log};
    FakeArbiter arbiter{&log};
};

} // namespace testsupport
