#include "info.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>

#include "bitmap/vantrybitmap.h"
#include "importstatus.h"
#include "pluginloader.h"
#include "tolvane_config.h"

namespace fs = std::filesystem;

namespace cli {

std::string defaultPluginPath() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    const fs::path dir = ec ? fs::current_path(ec) : exe.parent_path();
    const fs::path candidates[] = {
        dir / TOLVANE_PLUGIN_DIR_FROM_BIN / "libtarvex.so.1",
        dir / ".." / "lib64" / "tolvane" / "plugins" / "libtarvex.so.1",
        dir / ".." / ".." / "src" / "plugin" / "libtarvex.so.1",
    };
    for (const fs::path& candidate : candidates) {
        if (fs::exists(candidate, ec)) {
            return fs::weakly_canonical(candidate, ec).string();
        }
    }
    return candidates[0].lexically_normal().string();
}

int printPluginInfo(const std::string& pluginPath, const std::string& iconPath) {
    std::string error;
    const auto loaded = vqrt::LoadedPlugin::load(pluginPath, error);
    if (!loaded) {
        std::cerr << "tolvane-import: " << error << "\n";
        return vqrt::kImportUsage;
    }
    const vqrt::PluginIdentity id = loaded->identity();
    std::cout << "Plug-in:        " << loaded->path() << "\n"
              << "Name:           " << id.name << "\n"
              << "Description:    " << id.description << "\n"
              << "Tool tip:       " << id.toolTip << "\n"
              << "Category:       " << id.majorCategory << " / " << id.minorCategory << "\n"
              << "Internal:       " << id.internalCategory << "\n"
              << "Version:        " << vqrt::versionText(id.version) << "\n"
              << "Engine needed:  " << vqrt::versionText(id.minEngineVersion) << "\n"
              << "Progress steps: " << id.blockCount << "\n"
              << "Properties:     " << id.properties << "\n";
    if (!iconPath.empty()) {
        CVantryBitmap icon;
        if (!loaded->object()->getIcon(icon) || icon.GetBitmap() == nullptr) {
            std::cerr << "tolvane-import: " << pluginPath << ": the plug-in gave no icon\n";
            return vqrt::kImportUsage;
        }
        if (!icon.SaveBitmap(iconPath.c_str())) {
            std::cerr << "tolvane-import: cannot write the icon to " << iconPath << "\n";
            return vqrt::kImportUsage;
        }
        std::cout << "Icon saved:     " << iconPath << "\n";
    }
    return vqrt::kImportComplete;
}

} // namespace cli
