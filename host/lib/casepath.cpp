#include "casepath.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "text/names.h"

namespace vqrt {

namespace {

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

// The entry of `dir` named `name` without regard to case; empty when there is none.
std::string findEntry(const std::string& dir, const std::string& name) {
    struct stat st;
    if (lstat((dir + "/" + name).c_str(), &st) == 0) {
        return name;
    }
    std::unique_ptr<DIR, DirCloser> handle(opendir(dir.c_str()));
    if (!handle) {
        return {};
    }
    const std::string wanted = text::foldName(name);
    std::string best;
    while (const dirent* entry = readdir(handle.get())) {
        const std::string candidate = entry->d_name;
        if (candidate == "." || candidate == "..") {
            continue;
        }
        if (text::foldName(candidate) == wanted && (best.empty() || candidate < best)) {
            best = candidate;
        }
    }
    return best;
}

// True when the real path `real` is `realRoot` or lies below it.
bool isBelow(const std::string& realRoot, const std::string& real) {
    return realRoot == "/" || real == realRoot ||
           real.compare(0, realRoot.size() + 1, realRoot + "/") == 0;
}

struct FreeDeleter {
    void operator()(char* p) const { free(p); }
};

} // namespace

std::optional<std::string> realPath(const std::string& path) {
    const std::unique_ptr<char, FreeDeleter> real(realpath(path.c_str(), nullptr));
    if (!real) {
        return std::nullopt;
    }
    return std::string(real.get());
}

bool staysInside(const std::string& root, const std::string& path) {
    if (path == root) {
        return true;
    }
    const std::optional<std::string> realRoot = realPath(root);
    const std::optional<std::string> real = realPath(path);
    // A dangling link or a loop cannot be checked.
    return realRoot && real && isBelow(*realRoot, *real);
}

std::optional<std::string> resolveInside(const std::string& root, const std::string& base,
                                         const std::string& relative) {
    const std::optional<std::string> realRoot = realPath(root);
    std::string path = base;
    std::optional<std::string> real = realPath(path.empty() ? "/" : path);
    for (const std::string& component : text::splitFilePath(relative)) {
        if (!realRoot || !real || !isBelow(*realRoot, *real)) {
            return std::nullopt;
        }
        const std::string found = findEntry(path, component);
        if (found.empty()) {
            return std::nullopt;
        }
        path += "/" + found;
        real = realPath(path);
    }
    return realRoot && real && isBelow(*realRoot, *real) ? std::optional<std::string>(path)
                                                         : std::nullopt;
}

std::optional<std::string> resolveNoCase(const std::string& base, const std::string& relative) {
    std::string path = base;
    for (const std::string& component : text::splitFilePath(relative)) {
        const std::string found = findEntry(path, component);
        if (found.empty()) {
            return std::nullopt;
        }
        path += "/" + found;
    }
    return path;
}

} // namespace vqrt
