#include "casepath.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "fdio.h"
#include "text/names.h"

namespace vqrt {

namespace {

// A short name Windows gave a long one, as paths in old registries hold them ("PROGRA~1" for
// "Program Files", "NEWMES~1.WAV" for "New Message.wav"): the beginnings of the name and of
// its extension and "~" with a number. A copy of the disk keeps only the long names.
struct ShortName {
    std::string stem; // before "~", upper case
    std::string extension;
    size_t digits = 0;
};

char upperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string upperAscii(std::string s) {
    for (char& c : s) {
        c = upperAscii(c);
    }
    return s;
}

std::optional<ShortName> parseShortName(const std::string& name) {
    const size_t dot = name.rfind('.');
    const std::string stem = name.substr(0, dot);
    const std::string extension = dot == std::string::npos ? "" : name.substr(dot + 1);
    const size_t tilde = stem.rfind('~');
    if (tilde == std::string::npos || tilde == 0 || stem.size() > 8 || extension.size() > 3 ||
        tilde + 1 == stem.size() || stem[tilde + 1] == '0' ||
        stem.find_first_not_of("0123456789", tilde + 1) != std::string::npos) {
        return std::nullopt;
    }
    return ShortName{upperAscii(stem.substr(0, tilde)), upperAscii(extension),
                     stem.size() - tilde - 1};
}

// The first `length` characters of a short name made from `part`: upper case, without spaces
// and dots, "_" for what a short name cannot hold (one for each character beyond ASCII).
std::string shortPart(const std::string& part, size_t length) {
    std::string out;
    for (size_t i = 0; i < part.size() && out.size() < length; ++i) {
        const auto c = static_cast<unsigned char>(part[i]);
        if (c == ' ' || c == '.' || (c & 0xC0) == 0x80) {
            continue;
        }
        out += c >= 0x80 || std::string_view("+,;=[]").find(static_cast<char>(c)) !=
                                std::string_view::npos
                   ? '_'
                   : upperAscii(static_cast<char>(c));
    }
    return out;
}

// True for a name that is a short name itself in some case ("Temp", "readme.txt"): Windows
// gives such a name no other.
bool isShortForm(const std::string& name) {
    const size_t dot = name.find('.');
    const size_t stem = std::min(dot, name.size());
    return stem >= 1 && stem <= 8 && (dot == std::string::npos || name.size() - dot - 1 <= 3) &&
           name.find('.', stem + 1) == std::string::npos &&
           name.find_first_of(" +,;=[]") == std::string::npos &&
           std::all_of(name.begin(), name.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool fitsShortName(const std::string& longName, const ShortName& shortName) {
    if (isShortForm(longName)) {
        return false;
    }
    const size_t dot = longName.rfind('.');
    const bool split = dot != std::string::npos && dot != 0;
    return shortPart(split ? longName.substr(0, dot) : longName, 7 - shortName.digits) ==
               shortName.stem &&
           shortPart(split ? longName.substr(dot + 1) : "", 3) == shortName.extension;
}

// The entry of `dir` named `name` without regard to case; empty when there is none. A short
// name ("PROGRA~1") stands for the one long name of the folder that fits it: its number
// counts names of the same beginning in the order they were made, which the disk no longer
// tells, so where several fit none is taken.
std::string findEntry(const std::string& dir, const std::string& name) {
    struct stat st;
    if (lstat((dir + "/" + name).c_str(), &st) == 0) {
        return name;
    }
    UniqueDir handle(opendir(dir.c_str()));
    if (!handle) {
        return {};
    }
    const std::string wanted = text::foldName(name);
    const std::optional<ShortName> shortName = parseShortName(name);
    std::string best;
    std::string fitting;
    size_t fits = 0;
    while (const dirent* entry = readdir(handle.get())) {
        const std::string candidate = entry->d_name;
        if (candidate == "." || candidate == "..") {
            continue;
        }
        if (text::foldName(candidate) == wanted && (best.empty() || candidate < best)) {
            best = candidate;
        }
        if (shortName && fitsShortName(candidate, *shortName)) {
            fitting = candidate;
            ++fits;
        }
    }
    return !best.empty() || fits != 1 ? best : fitting;
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
