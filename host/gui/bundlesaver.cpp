#include "bundlesaver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "archive/exportall.h"
#include "archive/text.h"
#include "fdio.h"
#include "outputfolder.h"

namespace fs = std::filesystem;

namespace gui {

namespace {

constexpr mode_t kRecordMode = 0600;
const char* const kRecord = "record.json";
const char* const kReport = "report.txt";

// Copies what is left of `in` to `out` through a buffer, as the archive's database can be
// large; 0, or the errno of the write that failed. A failed read sets `readError` too.
int pump(int in, int out, int& readError) {
    std::vector<char> buffer(size_t{1} << 20);
    for (;;) {
        const ssize_t n = vqrt::readFull(in, buffer.data(), buffer.size());
        if (n <= 0) {
            readError = n < 0 ? errno : 0;
            return readError;
        }
        if (const int err = vqrt::writeAll(out, buffer.data(), static_cast<size_t>(n))) {
            return err;
        }
    }
}

// Copies `from` to `folder/name`, replacing an earlier file only with a complete copy.
bool copyAtomically(const std::string& from, const std::string& folder, const std::string& name,
                    mode_t mode, std::string& error) {
    const vqrt::UniqueFd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in) {
        error = vqrt::ioError(from, "cannot read", errno);
        return false;
    }
    int readError = 0;
    if (vqrt::writeFileAtomically(
            folder, name, mode, [&](int fd) { return pump(in.get(), fd, readError); }, error)) {
        return true;
    }
    if (readError != 0) {
        error = vqrt::ioError(from, "cannot read", readError);
    }
    return false;
}

// Copies what `in` (the file `from`) holds into the new file `out`, which gets `mode` and is
// closed; false with `error` naming `from` when reading failed, else `shownAs`.
bool fillCopy(int in, const std::string& from, vqrt::UniqueFd& out, mode_t mode,
              const std::string& shownAs, std::string& error) {
    int readError = 0;
    int err = pump(in, out.get(), readError);
    if (err == 0 && ::fchmod(out.get(), mode) != 0) {
        err = errno;
    }
    err = err != 0 ? err : out.close();
    if (err != 0) {
        error = readError != 0 ? vqrt::ioError(from, "cannot read", readError)
                               : vqrt::ioError(shownAs, "cannot write", err);
    }
    return err == 0;
}

// Copies `from` to the new file `folder/name` of a staging folder, which is synced as a whole
// before it is moved into place; an error names the file in `shown`, where it is meant to go.
bool copyInto(const std::string& from, const std::string& folder, const std::string& name,
              mode_t mode, const std::string& shown, std::string& error) {
    const vqrt::UniqueFd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in) {
        error = vqrt::ioError(from, "cannot read", errno);
        return false;
    }
    const std::string to = folder + "/" + name;
    vqrt::UniqueFd out(
        ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!out) {
        error = vqrt::ioError(shown + "/" + name, "cannot write", errno);
        return false;
    }
    return fillCopy(in.get(), from, out, mode, shown + "/" + name, error);
}

mode_t modeOf(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0600;
}

bool makeFolder(const std::string& path, std::string& error) {
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec || !fs::is_directory(path, ec)) {
        error = path + ": cannot create the folder (" +
                (ec ? ec.message() : std::string("a file of that name is in the way")) + ")";
        return false;
    }
    return true;
}

// The regular files (or, with `folders`, the folders) directly in `folder`, by name; links
// are left out.
std::vector<std::string> entries(const std::string& folder, bool folders) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        const bool wanted = folders ? it->is_directory(typeError) : it->is_regular_file(typeError);
        if (wanted && !it->is_symlink(typeError)) {
            names.push_back(it->path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool hasSuffix(const std::string& name, const std::string& suffix) {
    return name.size() >= suffix.size() &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Copies the files of `from` into `to` in a staging folder; `shown` is where they are meant
// to go.
bool copyFolder(const std::string& from, const std::string& to, std::string& error, int* copied,
                const std::string& shown) {
    const std::vector<std::string> names = entries(from, false);
    if (names.empty()) {
        return true;
    }
    if (!makeFolder(to, error)) {
        return false;
    }
    for (const std::string& name : names) {
        const std::string source = from + "/" + name;
        if (!copyInto(source, to, name, modeOf(source), shown, error)) {
            return false;
        }
        if (copied != nullptr) {
            ++*copied;
        }
    }
    return true;
}

// Temporary files that are removed unless renamed into place.
class Temporaries {
public:
    ~Temporaries() {
        for (const std::string& path : paths_) {
            ::unlink(path.c_str());
        }
    }
    void add(std::string path) { paths_.push_back(std::move(path)); }
    const std::vector<std::string>& paths() const { return paths_; }
    void keep() { paths_.clear(); }

private:
    std::vector<std::string> paths_;
};

// Copies the files `names` of `from` into the folder `to`, each replacing an earlier file of
// its name only when every copy is written and on the disk, so that a failed export leaves the
// earlier ones as they were. One sync of the file system instead of one per file: a history
// has thousands of pages.
bool copyAllAtomically(const std::string& from, const std::vector<std::string>& names,
                       const std::string& to, std::string& error) {
    Temporaries temporaries;
    for (const std::string& name : names) {
        const std::string source = from + "/" + name;
        const vqrt::UniqueFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
        if (!in) {
            error = vqrt::ioError(source, "cannot read", errno);
            return false;
        }
        std::string path = to + "/" + vqrt::temporaryPattern(name);
        vqrt::UniqueFd out(::mkostemp(path.data(), O_CLOEXEC));
        if (!out) {
            error = vqrt::ioError(to + "/" + name, "cannot write", errno);
            return false;
        }
        temporaries.add(path);
        if (!fillCopy(in.get(), source, out, modeOf(source), to + "/" + name, error)) {
            return false;
        }
    }
    const vqrt::UniqueFd folder(::open(to.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder || ::syncfs(folder.get()) != 0) {
        error = vqrt::ioError(to, "cannot write", errno);
        return false;
    }
    for (size_t i = 0; i < names.size(); ++i) {
        if (::rename(temporaries.paths()[i].c_str(), (to + "/" + names[i]).c_str()) != 0) {
            error = vqrt::ioError(to + "/" + names[i], "cannot replace", errno);
            return false;
        }
    }
    temporaries.keep();
    // Some file systems cannot sync a folder (EINVAL); their renames need nothing more.
    if (::fsync(folder.get()) != 0 && errno != EINVAL) {
        error = vqrt::ioError(to, "cannot write", errno);
        return false;
    }
    return true;
}

// True when the file at `path` is a page or text file of an ICQ history export: both name
// it near their start.
bool isHistoryFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string start(128, '\0');
    file.read(start.data(), static_cast<std::streamsize>(start.size()));
    start.resize(static_cast<size_t>(file.gcount()));
    return start.find("ICQ history") != std::string::npos;
}

} // namespace

SaveEnd saveBundle(const std::string& staging, const std::string& target, std::string& error,
                   int* carried, const std::function<bool(const std::string&)>& replaceOther,
                   const std::optional<vqrt::BundleIdentity>& identity) {
    if (carried != nullptr) {
        *carried = 0;
    }
    // What a complete run writes last.
    const std::string last = staging + "/" + (identity ? kReport : kRecord);
    struct stat st;
    if (::stat(last.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        error = last + (identity ? ": no archive to save (expected the report of an export)"
                                 : ": no record to save (expected the record of an import run)");
        return SaveEnd::Failed;
    }
    const std::unique_ptr<vqrt::OutputFolder> out = vqrt::OutputFolder::open(target, error);
    if (!out) {
        return SaveEnd::Failed;
    }
    // The bundle's members; its hidden files (the lock, the identity) are the folder's own.
    const auto members = [&staging](bool folders) {
        std::vector<std::string> names = entries(staging, folders);
        names.erase(std::remove_if(names.begin(), names.end(),
                                   [](const std::string& name) { return name[0] == '.'; }),
                    names.end());
        return names;
    };
    const std::vector<std::string> folders = members(true);
    const std::vector<std::string> files = members(false);
    std::vector<std::string> names = folders;
    names.insert(names.end(), files.begin(), files.end());
    // A bundle is saved over an earlier one, never over somebody else's files.
    error =
        archive::bundleRefusal(target, out->strangers(names), out->strangers({"history"}).empty());
    if (!error.empty()) {
        return SaveEnd::Failed;
    }
    const vqrt::BundleIdentity whose =
        identity.value_or(vqrt::bundleIdentity(staging).value_or(vqrt::BundleIdentity{}));
    const std::string other = vqrt::otherRecord(out->whoseRecord(), whose);
    if (!other.empty() && !(replaceOther && replaceOther(other))) {
        error = target + " holds the record of " + other;
        return SaveEnd::Declined;
    }
    const std::string into = out->staging();
    for (const std::string& folder : folders) {
        if (!copyFolder(staging + "/" + folder, into + "/" + folder, error,
                        folder == "files" ? carried : nullptr, target + "/" + folder)) {
            return SaveEnd::Failed;
        }
    }
    for (const std::string& name : files) {
        const std::string source = staging + "/" + name;
        const mode_t mode = name == kRecord ? kRecordMode : modeOf(source);
        if (!copyInto(source, into, name, mode, target, error)) {
            return SaveEnd::Failed;
        }
    }
    // The earlier bundle is replaced as a whole, record.json last.
    return out->commit(whose, error) ? SaveEnd::Saved : SaveEnd::Failed;
}

bool exportFiles(const std::string& staging, ExportKind kind, const std::string& target,
                 std::string& error, int* copied) {
    if (copied != nullptr) {
        *copied = 0;
    }
    if (kind == ExportKind::HistoryHtml || kind == ExportKind::HistoryText) {
        const std::string history = staging + "/history";
        const std::vector<std::string> staged = entries(history, false);
        if (staged.empty()) {
            error = history + ": no history to export (the import wrote no ICQ archive)";
            return false;
        }
        const std::string suffix = kind == ExportKind::HistoryHtml ? ".html" : ".txt";
        std::vector<std::string> pages;
        std::copy_if(staged.begin(), staged.end(), std::back_inserter(pages),
                     [&suffix](const std::string& name) { return hasSuffix(name, suffix); });
        // Pages go over those of an earlier export only, never over somebody else's files.
        std::vector<std::string> strangers;
        for (const std::string& name : pages) {
            std::error_code ec;
            const std::string there = target + "/" + name;
            if (fs::exists(fs::symlink_status(there, ec)) && !isHistoryFile(there)) {
                strangers.push_back(name);
            }
        }
        if (!strangers.empty()) {
            error = archive::inTheWay(target, strangers, "no history export wrote");
            return false;
        }
        if (!makeFolder(target, error) || !copyAllAtomically(history, pages, target, error)) {
            return false;
        }
        if (copied != nullptr) {
            *copied = static_cast<int>(pages.size());
        }
        return true;
    }
    const std::string source =
        staging + (kind == ExportKind::ContactsVcard ? "/contacts.vcf" : "/contacts.csv");
    const fs::path to(target);
    const std::string folder = to.has_parent_path() ? to.parent_path().string() : ".";
    if (!makeFolder(folder, error) ||
        !copyAtomically(source, folder, to.filename().string(), modeOf(source), error)) {
        return false;
    }
    if (copied != nullptr) {
        *copied = 1;
    }
    return true;
}

} // namespace gui
