#pragma once

#include <memory>
#include <string>

#include "vqrt/plugin.h"

namespace vqrt {

/// What a plug-in says about itself, read through bounded buffers.
struct PluginIdentity {
    std::string name;
    std::string description;
    std::string toolTip;
    std::string majorCategory;
    std::string minorCategory;
    std::string internalCategory;
    version_t version{0, 0};
    version_t minEngineVersion{0, 0};
    int32_t blockCount = 0;
    long properties = 0;
};

/// A plug-in library loaded with dlopen and the object its getObject made. The library stays
/// mapped for the life of the process, because widgets the plug-in made may outlive the object.
class LoadedPlugin {
public:
    /// Loads `path`; on failure answers null and one line in `error` naming the file and cause.
    static std::unique_ptr<LoadedPlugin> load(const std::string& path, std::string& error);
    ~LoadedPlugin();
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

    plugin* object() const { return object_; }
    const std::string& path() const { return path_; }
    /// Asks every identity operation.
    PluginIdentity identity() const;

private:
    LoadedPlugin(std::string path, void* handle, plugin* object)
        : path_(std::move(path)), handle_(handle), object_(object) {}

    std::string path_;
    void* handle_;
    plugin* object_;
};

/// "major.minor".
std::string versionText(const version_t& version);

} // namespace vqrt
