#include "bundlesaver.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "fdio.h"

namespace fs = std::filesystem;

namespace gui {

namespace {

constexpr mode_t kRecordMode = 0600;
constexpr mode_t kFileMode = 0644;

// Copies `from` to `folder/name`, replacing an earlier file only with a complete copy.
bool copyAtomically(const std::string& from, const std::string& folder, const std::string& name,
                    mode_t mode, std::string& error) {
    std::string bytes;
    return vqrt::readWholeFile(from, bytes, error) &&
           vqrt::writeFileAtomically(
               folder, name, mode,
               [&bytes](int fd) { return vqrt::writeAll(fd, bytes.data(), bytes.size()); }, error);
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
