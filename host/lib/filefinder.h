#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "vqrt/filefinder.h"
#include "vqrt/vantrynode.h"

namespace vqrt {

/// One entry found by a DirectoryFinder.
class DirectoryNode : public VQ::CVantryNode {
public:
    /// `regularFile` is what isFile() answers.
    DirectoryNode(std::string path, bool regularFile);

    /// The entry's full local path.
    std::string getPath() const override;
    /// True for a regular file, or a symbolic link that leads to one.
    bool isFile() const override;

private:
    std::string path_;
    bool regularFile_;
};

/// The finder of kind 3: entries of one local directory whose names end in an extension,
/// compared without regard to case (text::foldName), in byte order of their path below the
/// directory.
class DirectoryFinder : public CFileFinder {
public:
    /// The local directory to search.
    void setDirectory(const std::string& directory) override;
    /// The name ending to match, such as ".uin"; empty matches every entry.
    void setExtension(const std::string& extension) override;
    /// Only what lies inside one of `roots` (after symbolic links are followed) counts as a
    /// file: a link on an untrusted disk must not lead the plug-in to files of this machine.
    /// No roots, the default, confines nothing.
    void confineTo(std::vector<std::string> roots) { roots_ = std::move(roots); }
    /// A file larger than `bytes` does not count as a file either (an owner file of 40 MB
    /// would be read whole); each is reported once to `warn` as `PATH: left out (...)`, and so
    /// is a folder that cannot be read (`PATH: cannot read the folder (...)`).
    void limitFileSize(off_t bytes, std::function<void(const std::string&)> warn) {
        maxFileSize_ = bytes;
        warn_ = std::move(warn);
    }
    /// Clears `nodes`, fills it and answers it. The nodes belong to the finder and stay valid
    /// until its next search or its destruction. `recursive` descends into subdirectories,
    /// never through symbolic links. A missing or unreadable directory gives no entries.
    std::vector<VQ::CVantryNode*>& search(std::vector<VQ::CVantryNode*>& nodes,
                                          bool recursive) override;

private:
    bool withinLimit(const std::string& path, off_t size);

    std::string directory_;
    std::string extension_;
    std::vector<std::string> roots_;
    std::vector<std::unique_ptr<DirectoryNode>> found_;
    off_t maxFileSize_ = -1; ///< -1: no limit
    std::function<void(const std::string&)> warn_;
    std::set<std::string> reported_; ///< files already reported as too large
};

} // namespace vqrt
