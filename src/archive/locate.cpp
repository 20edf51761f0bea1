#include "archive/locate.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <map>
#include <vector>

#include "archive/database.h"
#include "archive/exportall.h"
#include "archive/text.h"
#include "text/names.h"

namespace archive {

namespace {

namespace fs = std::filesystem;

// Databases named when a folder holds several owners'.
constexpr size_t kNamesShown = 5;
// Where ICQ keeps its databases beneath its own folder, the newest first.
const char* const kVersionFolders[] = {"2003a", "2002a", "2001a", "2000b",
                                       "2000a", "Db99b", "NewDB"};

// The UIN of a "<digits>.dat" (the extension in any case); 0 for any other name.
unsigned long long uinOf(const std::string& name) {
    const size_t dot = name.size() >= 5 ? name.size() - 4 : 0;
    if (dot == 0 || text::foldName(name.substr(dot)) != ".dat") {
        return 0;
    }
    return archive::decimal(std::string_view(name).substr(0, dot), 10).value_or(0);
}

std::vector<fs::path> entriesOf(const fs::path& folder, std::error_code& ec) {
    std::vector<fs::path> found;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        found.push_back(it->path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::vector<fs::path> entriesOf(const fs::path& folder) {
    std::error_code ignored;
    return entriesOf(folder, ignored);
}

// The databases among `entries`, by UIN; a UIN already known keeps its file.
void addDatabases(const std::vector<fs::path>& entries,
                  std::map<unsigned long long, fs::path>& byUin) {
    for (const fs::path& entry : entries) {
        std::error_code ec;
        const unsigned long long uin = uinOf(entry.filename().string());
        if (uin != 0 && fs::is_regular_file(entry, ec)) {
            byUin.emplace(uin, entry);
        }
    }
}

// The first folder among `entries`, or in one of them, that holds the tables of ICQ 2003b or
// later (ICQ/2003b/<UIN>/...), which opening refuses by name; empty when there is none.
std::string laterTablesBelow(const std::vector<fs::path>& entries) {
    for (const fs::path& entry : entries) {
        std::error_code ec;
        if (!fs::is_directory(entry, ec)) {
            continue;
        }
        if (!archive::laterFormatRefusal(entry.string()).empty()) {
            return entry.string();
        }
        for (const fs::path& inner : entriesOf(entry)) {
            if (fs::is_directory(inner, ec) &&
                !archive::laterFormatRefusal(inner.string()).empty()) {
                return inner.string();
            }
        }
    }
    return {};
}

// The databases in the folder of `entries` or, when it holds none, in its version folders.
std::map<unsigned long long, fs::path> databasesAmong(const std::vector<fs::path>& entries) {
    std::map<unsigned long long, fs::path> byUin;
    addDatabases(entries, byUin);
    if (byUin.empty()) {
        for (const char* version : kVersionFolders) {
            for (const fs::path& entry : entries) {
                std::error_code ec;
                if (text::foldName(entry.filename().string()) == text::foldName(version) &&
                    fs::is_directory(entry, ec)) {
                    addDatabases(entriesOf(entry), byUin);
                }
            }
        }
    }
    return byUin;
}

std::string fromFolder(const std::string& given, std::string& problem) {
    const fs::path folder(given);
    std::error_code unread;
    const std::vector<fs::path> entries = entriesOf(folder, unread);
    if (unread) {
        problem = given + ": cannot read the folder (" + unread.message() + ")";
        return {};
    }
    const std::map<unsigned long long, fs::path> byUin = databasesAmong(entries);
    if (byUin.size() == 1) {
        return byUin.begin()->second.string();
    }
    if (byUin.empty()) {
        const std::string later = laterTablesBelow(entries);
        if (!later.empty()) {
            return later;
        }
        problem = given + ": holds no ICQ database (no <UIN>.dat in it, nor in its folders " +
                  archive::listed({std::begin(kVersionFolders), std::end(kVersionFolders)}) + ")";
        // Dated copies of an ICQ folder kept side by side lie further down.
        std::vector<std::string> below;
        for (const auto& [uin, paths] : databaseCopiesIn(given)) {
            for (const std::string& path : paths) {
                below.push_back(fs::path(path).lexically_relative(folder).string());
            }
        }
        if (!below.empty()) {
            problem += "; below it: " + archive::firstFew(below, kNamesShown) +
                       "; name the one to read, or for export every copy of one owner's database";
        } else {
            problem += earlierOutputAdvice(given);
        }
        return {};
    }
    // A few are enough to show what the folder is.
    std::vector<std::string> names;
    for (const auto& [uin, path] : byUin) {
        names.push_back(path.lexically_relative(folder).string());
    }
    problem = given + ": holds the databases of " + std::to_string(byUin.size()) + " owners (" +
              archive::firstFew(names, kNamesShown) + "); name one of them";
    return {};
}

} // namespace

std::string indexBeside(const std::string& datPath) {
    const fs::path dat(datPath);
    const std::string stem = dat.stem().string();
    const fs::path folder = dat.has_parent_path() ? dat.parent_path() : fs::path(".");
    std::string found;
    for (const fs::path& entry : entriesOf(folder)) {
        const std::string name = entry.filename().string();
        if (name.size() == stem.size() + 4 && name.compare(0, stem.size(), stem) == 0 &&
            text::foldName(name.substr(stem.size())) == ".idx" &&
            (found.empty() || name.compare(stem.size(), 4, ".idx") == 0)) {
            found = entry.string();
        }
    }
    return found;
}

std::vector<std::string> databasesIn(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& [uin, path] : databasesAmong(entriesOf(folder))) {
        found.push_back(path.string());
    }
    return found;
}

std::map<unsigned long long, std::vector<std::string>>
databaseCopiesIn(const std::string& folder, int depth, size_t maxFolders) {
    std::map<unsigned long long, std::vector<std::string>> found;
    std::vector<std::pair<fs::path, int>> folders{{fs::path(folder), 0}};
    for (size_t next = 0; next < folders.size() && next < maxFolders; ++next) {
        const auto [current, level] = folders[next];
        for (const fs::path& entry : entriesOf(current)) {
            std::error_code ec;
            const fs::file_status linkStatus = fs::symlink_status(entry, ec);
            if (fs::is_directory(linkStatus)) {
                // Windows' own folder holds no ICQ database, and thousands of folders.
                const std::string name = text::foldName(entry.filename().string());
                if (level < depth && name != "windows" && name != "winnt") {
                    folders.emplace_back(entry, level + 1);
                }
                continue;
            }
            const unsigned long long uin = uinOf(entry.filename().string());
            if (uin != 0 && fs::is_regular_file(entry, ec)) {
                found[uin].push_back(entry.string());
            }
        }
    }
    for (auto& [uin, paths] : found) {
        std::sort(paths.begin(), paths.end());
    }
    return found;
}

std::map<unsigned long long, std::vector<std::string>>
databaseCopiesInside(const std::string& folder, std::vector<std::string>& outside) {
    std::map<unsigned long long, std::vector<std::string>> inside;
    std::error_code ec;
    std::string root = fs::canonical(folder, ec).string();
    if (ec) {
        return inside;
    }
    if (root.back() != '/') {
        root += '/';
    }
    for (auto& [uin, paths] : databaseCopiesIn(folder)) {
        for (std::string& path : paths) {
            const std::string real = fs::canonical(path, ec).string();
            if (!ec && real.compare(0, root.size(), root) == 0) {
                inside[uin].push_back(std::move(path));
            } else {
                outside.push_back(std::move(path));
            }
        }
    }
    return inside;
}

std::string locateDatabase(const std::string& given, std::string& problem) {
    std::error_code ec;
    const fs::path path(given);
    if (fs::is_directory(path, ec)) {
        // A folder of ICQ 2003b's tables is refused by name when it is opened.
        return archive::laterFormatRefusal(given).empty() ? fromFolder(given, problem) : given;
    }
    const std::string name = path.filename().string();
    if (name.size() > 4 && text::foldName(name.substr(name.size() - 4)) == ".idx") {
        const std::string stem = text::foldName(name.substr(0, name.size() - 4));
        for (const fs::path& entry : entriesOf(path.has_parent_path() ? path.parent_path() : ".")) {
            const std::string other = entry.filename().string();
            if (text::foldName(other) == stem + ".dat" && fs::is_regular_file(entry, ec)) {
                return path.has_parent_path() ? entry.string() : other;
            }
        }
    }
    return given;
}

} // namespace archive
