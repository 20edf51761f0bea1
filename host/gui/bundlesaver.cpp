#include "bundlesaver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "fdio.h"

namespace fs = std::filesystem;

namespace gui {

namespace {

constexpr mode_t kRecordMode = 0600;
constexpr mode_t kFileMode = 0644;

std::string cause(int error) {
    return std::strerror(error);
}

// Removes a temporary file unless it was renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TemporaryFile() {
        if (!path_.empty()) {
            ::unlink(path_.c_str());
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& path() const { return path_; }
    void release() { path_.clear(); }

private:
    std::string path_;
};

// Copies `from` to `folder/name` through a temporary file in `folder`, synced and renamed.
bool copyAtomically(const std::string& from, const std::string& folder, const std::string& name,
                    mode_t mode, std::string& error) {
    vqrt::UniqueFd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in) {
        error = from + ": cannot read (" + cause(errno) + ")";
        return false;
    }
    const std::string target = folder + "/" + name;
    std::string pattern = folder + "/." + name + ".XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    vqrt::UniqueFd out(::mkostemp(buffer.data(), O_CLOEXEC));
    if (!out) {
        error = target + ": cannot write (" + cause(errno) + ")";
        return false;
    }
    TemporaryFile temporary(buffer.data());
    std::vector<char> chunk(1 << 16);
    for (;;) {
        const ssize_t got = ::read(in.get(), chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            error = from + ": cannot read (" + cause(errno) + ")";
            return false;
        }
        if (got == 0) {
            break;
        }
        if (const int writeError =
                vqrt::writeAll(out.get(), chunk.data(), static_cast<size_t>(got));
            writeError != 0) {
            error = target + ": cannot write (" + cause(writeError) + ")";
            return false;
        }
    }
    if (::fchmod(out.get(), mode) != 0 || ::fsync(out.get()) != 0) {
        error = target + ": cannot write (" + cause(errno) + ")";
        return false;
    }
    if (const int closeError = out.close(); closeError != 0) {
        error = target + ": cannot write (" + cause(closeError) + ")";
        return false;
    }
    if (::rename(temporary.path().c_str(), target.c_str()) != 0) {
        error = target + ": cannot replace (" + cause(errno) + ")";
        return false;
    }
    temporary.release();
    // The rename itself reaches the disk with the folder.
    vqrt::UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) {
        ::fsync(dir.get());
    }
    return true;
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

// The regular files directly in `folder`, by name; none when it does not exist.
std::vector<std::string> regularFiles(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError) && !it->is_symlink(typeError)) {
            names.push_back(it->path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

bool saveBundle(const std::string& staging, const std::string& target, std::string& error,
                int* filesCopied) {
    if (filesCopied != nullptr) {
        *filesCopied = 0;
    }
    const std::string record = staging + "/record.json";
    struct stat st;
    if (::stat(record.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        error = record + ": no record to save (expected the record of an import run)";
        return false;
    }
    if (!makeFolder(target, error)) {
        return false;
    }
    const std::vector<std::string> files = regularFiles(staging + "/files");
    if (!files.empty()) {
        const std::string targetFiles = target + "/files";
        if (!makeFolder(targetFiles, error)) {
            return false;
        }
        for (const std::string& name : files) {
            if (!copyAtomically(staging + "/files/" + name, targetFiles, name, kFileMode, error)) {
                return false;
            }
            if (filesCopied != nullptr) {
                ++*filesCopied;
            }
        }
    }
    return copyAtomically(record, target, "record.json", kRecordMode, error);
}

} // namespace gui
