#include "localtree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "text/names.h"

namespace mkwin {

namespace {

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

struct FdCloser {
    int fd = -1;
    ~FdCloser() {
        if (fd >= 0) {
            close(fd);
        }
    }
};

std::string cause() {
    return std::strerror(errno);
}

// The entry of `dir` named `name`: the exact name when it exists, otherwise the first in byte
// order that matches without regard to case, otherwise `name` itself.
std::string matchEntry(const std::string& dir, const std::string& name) {
    struct stat st;
    if (lstat((dir + "/" + name).c_str(), &st) == 0) {
        return name;
    }
    std::unique_ptr<DIR, DirCloser> handle(opendir(dir.c_str()));
    if (!handle) {
        return name;
    }
    const std::string folded = text::foldName(name);
    std::vector<std::string> matches;
    while (const dirent* entry = readdir(handle.get())) {
        if (text::foldName(entry->d_name) == folded) {
            matches.emplace_back(entry->d_name);
        }
    }
    if (matches.empty()) {
        return name;
    }
    return *std::min_element(matches.begin(), matches.end());
}

} // namespace

bool hasDriveLetter(std::string_view windowsPath) {
    return windowsPath.size() >= 2 && windowsPath[1] == ':' &&
           ((windowsPath[0] >= 'A' && windowsPath[0] <= 'Z') ||
            (windowsPath[0] >= 'a' && windowsPath[0] <= 'z'));
}

std::optional<RelativePath> parseDrivePath(std::string_view windowsPath, std::string& problem) {
    const auto fail = [&](const std::string& what) {
        problem = what;
        return std::nullopt;
    };
    if (!hasDriveLetter(windowsPath) || windowsPath.size() < 3 ||
        (windowsPath[2] != '\\' && windowsPath[2] != '/')) {
        return fail("expected an absolute Windows path such as \"C:\\\\Folder\\\\File\"");
    }
    if (windowsPath[0] != 'C' && windowsPath[0] != 'c') {
        return fail("expected a path on drive C:");
    }
    if (windowsPath.find('\0') != std::string_view::npos) {
        return fail("expected a path without NUL characters");
    }
    RelativePath path = text::splitFilePath(windowsPath.substr(3));
    if (std::find(path.begin(), path.end(), "..") != path.end()) {
        return fail("the path leaves the root with \"..\"");
    }
    return path;
}

bool isPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

std::string joinPath(const RelativePath& path) {
    std::string joined;
    for (const std::string& name : path) {
        joined += (joined.empty() ? "" : "/") + name;
    }
    return joined;
}

LocalTree::LocalTree(std::string root) : root_(std::move(root)) {
    while (root_.size() > 1 && root_.back() == '/') {
        root_.pop_back();
    }
}

bool LocalTree::createRoot(std::string& error) const {
    std::string path;
    size_t start = 0;
    while (start <= root_.size()) {
        size_t end = root_.find('/', start);
        if (end == std::string::npos) {
            end = root_.size();
        }
        path = root_.substr(0, end);
        start = end + 1;
        if (path.empty() || path == "." || path == "..") {
            continue;
        }
        struct stat st;
        if (stat(path.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) {
                error = path + ": cannot create the folder (a file of that name exists)";
                return false;
            }
        } else if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
            error = path + ": cannot create the folder (" + cause() + ")";
            return false;
        }
    }
    return true;
}

std::optional<std::string> LocalTree::folder(const RelativePath& path, std::string& error) const {
    std::string current = root_;
    for (const std::string& component : path) {
        if (!isPlainName(component)) {
            error = current + ": refusing the name \"" + component + "\" (it is no plain name)";
            return std::nullopt;
        }
        const std::string next = current + "/" + matchEntry(current, component);
        struct stat st;
        if (lstat(next.c_str(), &st) == 0) {
            if (S_ISLNK(st.st_mode)) {
                error = next + ": refusing to follow a symbolic link below the root";
                return std::nullopt;
            }
            if (!S_ISDIR(st.st_mode)) {
                error = next + ": cannot create the folder (a file of that name exists)";
                return std::nullopt;
            }
        } else if (mkdir(next.c_str(), 0777) != 0) {
            error = next + ": cannot create the folder (" + cause() + ")";
            return std::nullopt;
        }
        current = next;
    }
    return current;
}

std::optional<std::string> LocalTree::file(const RelativePath& path, std::string& error) const {
    if (path.empty()) {
        error = root_ + ": expected a file below the root";
        return std::nullopt;
    }
    const std::optional<std::string> dir =
        folder(RelativePath(path.begin(), path.end() - 1), error);
    if (!dir) {
        return std::nullopt;
    }
    if (!isPlainName(path.back())) {
        error = *dir + ": refusing the name \"" + path.back() + "\" (it is no plain name)";
        return std::nullopt;
    }
    const std::string target = *dir + "/" + matchEntry(*dir, path.back());
    struct stat st;
    if (lstat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        error = target + (S_ISLNK(st.st_mode)
                              ? ": refusing to write through a symbolic link below the root"
                              : ": cannot write the file (something else of that name exists)");
        return std::nullopt;
    }
    return target;
}

bool LocalTree::writeFile(const RelativePath& path, std::string_view bytes,
                          std::string& error) const {
    const std::optional<std::string> target = file(path, error);
    if (!target) {
        return false;
    }
    FdCloser fd{open(target->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666)};
    if (fd.fd < 0) {
        error = *target + ": cannot create the file (" + cause() + ")";
        return false;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd.fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = *target + ": cannot write the file (" + cause() + ")";
            return false;
        }
        done += static_cast<size_t>(n);
    }
    const int rc = close(fd.fd);
    fd.fd = -1;
    if (rc != 0) {
        error = *target + ": cannot write the file (" + cause() + ")";
        return false;
    }
    return true;
}

} // namespace mkwin
