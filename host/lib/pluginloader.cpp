#include "pluginloader.h"

#include <dlfcn.h>

#include <array>

namespace vqrt {

namespace {

using TextGetter = char* (plugin::*)(char*, int);

std::string askText(plugin* object, TextGetter getter) {
    // The plug-in fills exactly the length it is given; the last byte stays a terminator.
    std::array<char, 1024> buffer{};
    (object->*getter)(buffer.data(), static_cast<int>(buffer.size() - 1));
    return std::string(buffer.data());
}

} // namespace

std::unique_ptr<LoadedPlugin> LoadedPlugin::load(const std::string& path, std::string& error) {
    dlerror();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (handle == nullptr) {
        const char* reason = dlerror();
        std::string cause = reason != nullptr ? reason : "unknown error";
        // dlerror names the file itself first.
        if (cause.compare(0, path.size() + 2, path + ": ") == 0) {
            cause.erase(0, path.size() + 2);
        }
        error = path + ": cannot load the plug-in (" + cause + ")";
        return nullptr;
    }
    using Factory = plugin* (*)();
    auto factory = reinterpret_cast<Factory>(dlsym(handle, "getObject"));
    if (factory == nullptr) {
        dlclose(handle);
        error = path + ": not a plug-in (expected the symbol getObject, found none)";
        return nullptr;
    }
    plugin* object = factory();
    if (object == nullptr) {
        dlclose(handle);
        error = path + ": getObject answered no plug-in object";
        return nullptr;
    }
    return std::unique_ptr<LoadedPlugin>(new LoadedPlugin(path, handle, object));
}

LoadedPlugin::~LoadedPlugin() {
    delete object_;
    dlclose(handle_);
}

PluginIdentity LoadedPlugin::identity() const {
    PluginIdentity id;
    id.name = askText(object_, &plugin::getName);
    id.description = askText(object_, &plugin::getDescription);
    id.toolTip = askText(object_, &plugin::getToolTip);
    id.majorCategory = askText(object_, &plugin::getMajorCategory);
    id.minorCategory = askText(object_, &plugin::getMinorCategory);
    id.internalCategory = askText(object_, &plugin::getInternalCategory);
    object_->getVersion(&id.version);
    object_->getMinEngineVersion(&id.minEngineVersion);
    id.blockCount = object_->getBlockCount();
    object_->getProperties(&id.properties);
    return id;
}

std::string versionText(const version_t& version) {
    return std::to_string(version.major) + "." + std::to_string(version.minor);
}

} // namespace vqrt
