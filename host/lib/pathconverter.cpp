#include "pathconverter.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "casepath.h"
#include "text/names.h"

namespace vqrt {

namespace {

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char upperLetter(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// A local root without trailing slashes; "/" stays "/".
std::string trimRoot(std::string root) {
    while (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }
    return root;
}

// The components of a path after its drive, ".." taking one back but never above the
// drive's root.
std::vector<std::string> splitComponents(const std::string& tail) {
    std::vector<std::string> parts;
    for (std::string& component : text::splitFilePath(tail)) {
        if (component != "..") {
            parts.push_back(std::move(component));
        } else if (!parts.empty()) {
            parts.pop_back();
        }
    }
    return parts;
}

} // namespace

PathConverter::PathConverter(const std::string& windowsRoot,
                             const std::map<char, std::string>& drives) {
    for (const auto& [letter, dir] : drives) {
        if (isAsciiLetter(letter)) {
            drives_[upperLetter(letter)] = trimRoot(dir);
        }
    }
    drives_['C'] = trimRoot(windowsRoot);
}

void PathConverter::convertPath(const std::string& windowsPath, std::string& localPath) {
    char drive = 0;
    localPath = convert(windowsPath, &drive);
    if (drive != 0) {
        unmapped_.emplace(drive, std::string(windowsPath.c_str()));
    }
}

std::string PathConverter::windowsFolder() const {
    const std::string& root = drives_.at('C');
    static const char* const kNames[] = {"Windows", "WINNT"};
    // A folder with a registry in it is the installed system; a bare folder of that name
    // serves when none has one.
    for (const char* suffix : {"/System32/config", ""}) {
        for (const char* name : kNames) {
            const std::optional<std::string> found =
                resolveInside(root, root, std::string(name) + suffix);
            if (!found) {
                continue;
            }
            const std::optional<std::string> folder = resolveInside(root, root, name);
            struct stat st;
            if (folder && stat(folder->c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
                return "C:\\" + folder->substr(folder->rfind('/') + 1);
            }
        }
    }
    return "C:\\Windows";
}

std::string PathConverter::expandPrefix(const std::string& path) const {
    if (path.empty() || path[0] != '%') {
        return path;
    }
    const size_t end = path.find('%', 1);
    if (end == std::string::npos) {
        return path;
    }
    const std::string name = text::foldName(path.substr(1, end - 1));
    const std::string rest = path.substr(end + 1);
    if (name == "systemroot" || name == "windir") {
        return windowsFolder() + rest;
    }
    if (name == "systemdrive") {
        return "C:" + rest;
    }
    if (name == "programfiles") {
        return "C:\\Program Files" + rest;
    }
    return path;
}

std::string PathConverter::convert(const std::string& windowsPath, char* unknownDrive) const {
    if (unknownDrive != nullptr) {
        *unknownDrive = 0;
    }
    // The plug-in's texts are C strings: whatever follows a NUL is not part of the path.
    std::string path = expandPrefix(std::string(windowsPath.c_str()));
    // "\\?\C:\..." and "\\.\C:\..." name an ordinary drive path; other "\\" paths are UNC.
    if (path.size() >= 4 && isSeparator(path[0]) && isSeparator(path[1]) &&
        (path[2] == '?' || path[2] == '.') && isSeparator(path[3])) {
        path.erase(0, 4);
    }
    // A rooted path without a drive (the owner folder of an empty ICQ folder) is on the
    // current drive, which for a program started from the system volume is C:.
    if (!path.empty() && isSeparator(path[0]) && (path.size() == 1 || !isSeparator(path[1]))) {
        path.insert(0, "C:");
    }
    if (path.size() < 2 || path[1] != ':' || !isAsciiLetter(path[0])) {
        return {};
    }
    const auto drive = drives_.find(upperLetter(path[0]));
    if (drive == drives_.end()) {
        if (unknownDrive != nullptr) {
            *unknownDrive = upperLetter(path[0]);
        }
        return {};
    }
    const std::string& root = drive->second;
    const std::vector<std::string> parts = splitComponents(path.substr(2));

    std::string local = root;
    size_t resolved = 0;
    for (; resolved < parts.size(); ++resolved) {
        const std::optional<std::string> found = resolveNoCase(local, parts[resolved]);
        if (!found) {
            break;
        }
        local = *found;
    }
    if (!staysInside(root, local)) {
        return {};
    }
    for (size_t i = resolved; i < parts.size(); ++i) {
        local += "/" + parts[i];
    }
    if (root == "/" && local.compare(0, 2, "//") == 0) {
        local.erase(0, 1);
    }
    return local;
}

} // namespace vqrt
