#include "filefinder.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <utility>

#include "casepath.h"
#include "fdio.h"
#include "text/names.h"

namespace vqrt {

namespace {

struct Match {
    std::string relative; ///< path below the searched directory; the sort key
    std::string path;
    bool regularFile;
    off_t size; ///< of the regular file
};

using DirId = std::pair<dev_t, ino_t>;

class Walker {
public:
    Walker(const std::string& foldedExtension, bool recursive,
           const std::function<void(const std::string&)>& warn)
        : foldedExtension_(foldedExtension), recursive_(recursive), warn_(warn) {}

    void walk(const std::string& dir, const std::string& relativeDir, std::vector<Match>& out) {
        struct stat dirStat;
        if (stat(dir.c_str(), &dirStat) != 0 ||
            !visited_.insert({dirStat.st_dev, dirStat.st_ino}).second) {
            return; // gone, or already seen through a bind mount
        }
        const UniqueDir handle(opendir(dir.c_str()));
        if (!handle) {
            // Owners in a folder nobody may read would go missing without a word.
            if (errno != ENOENT) {
                warn_(dir + ": cannot read the folder (" + std::strerror(errno) + ")");
            }
            return;
        }
        std::vector<std::string> subdirectories;
        while (const dirent* entry = readdir(handle.get())) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") {
                continue;
            }
            const std::string path = join(dir, name);
            const std::string relative = relativeDir.empty() ? name : relativeDir + "/" + name;
            if (endsWithExtension(name)) {
                struct stat target;
                const bool regular = stat(path.c_str(), &target) == 0 && S_ISREG(target.st_mode);
                out.push_back({relative, path, regular, regular ? target.st_size : 0});
            }
            struct stat own;
            if (recursive_ && lstat(path.c_str(), &own) == 0 && S_ISDIR(own.st_mode)) {
                subdirectories.push_back(name);
            }
        }
        for (const std::string& name : subdirectories) {
            walk(join(dir, name), relativeDir.empty() ? name : relativeDir + "/" + name, out);
        }
    }

private:
    static std::string join(const std::string& dir, const std::string& name) {
        return (!dir.empty() && dir.back() == '/') ? dir + name : dir + "/" + name;
    }

    // Folding keeps byte positions, so the folded name ends in the folded extension.
    bool endsWithExtension(const std::string& name) const {
        const std::string folded = text::foldName(name);
        return folded.size() >= foldedExtension_.size() &&
               folded.compare(folded.size() - foldedExtension_.size(), std::string::npos,
                              foldedExtension_) == 0;
    }

    const std::string foldedExtension_;
    const bool recursive_;
    const std::function<void(const std::string&)>& warn_;
    std::set<DirId> visited_;
};

} // namespace

DirectoryNode::DirectoryNode(std::string path, bool regularFile)
    : path_(std::move(path)), regularFile_(regularFile) {}

std::string DirectoryNode::getPath() const {
    return path_;
}

bool DirectoryNode::isFile() const {
    return regularFile_;
}

void DirectoryFinder::setDirectory(const std::string& directory) {
    directory_ = directory;
}

void DirectoryFinder::setExtension(const std::string& extension) {
    extension_ = text::foldName(extension);
}

std::vector<VQ::CVantryNode*>& DirectoryFinder::search(std::vector<VQ::CVantryNode*>& nodes,
                                                       bool recursive) {
    nodes.clear();
    found_.clear();
    std::vector<Match> matches;
    if (!directory_.empty()) {
        // Each search runs again over the same folders: say each once.
        const std::function<void(const std::string&)> warnOnce = [this](const std::string& line) {
            if (warn_ && reported_.insert(line).second) {
                warn_(line);
            }
        };
        Walker(extension_, recursive, warnOnce).walk(directory_, "", matches);
    }
    std::sort(matches.begin(), matches.end(),
              [](const Match& a, const Match& b) { return a.relative < b.relative; });
    found_.reserve(matches.size());
    nodes.reserve(matches.size());
    for (Match& match : matches) {
        const bool confined =
            roots_.empty() ||
            std::any_of(roots_.begin(), roots_.end(),
                        [&](const std::string& root) { return staysInside(root, match.path); });
        const bool file = match.regularFile && confined && withinLimit(match.path, match.size);
        found_.push_back(std::make_unique<DirectoryNode>(std::move(match.path), file));
        nodes.push_back(found_.back().get());
    }
    return nodes;
}

bool DirectoryFinder::withinLimit(const std::string& path, off_t size) {
    if (maxFileSize_ < 0 || size <= maxFileSize_) {
        return true;
    }
    if (warn_ && reported_.insert(path).second) {
        const off_t mib = 1024 * 1024;
        const std::string limit = maxFileSize_ % mib == 0
                                      ? std::to_string(maxFileSize_ / mib) + " MiB"
                                      : std::to_string(maxFileSize_) + " bytes";
        warn_(path + ": left out (larger than " + limit + ")");
    }
    return false;
}

} // namespace vqrt
