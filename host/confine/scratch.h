#pragma once

#include <string>

namespace vqrt {

/// A fresh folder "tolvane-XXXXXX" in $TMPDIR (else /tmp), removed with what it holds when
/// dropped; a confined process removes it when its parent is among the plan's removeDirTrees.
class ScratchFolder {
public:
    /// Makes the folder; path() stays empty when that fails, and `error` says where and why
    /// ("/tmp: Permission denied").
    explicit ScratchFolder(std::string& error);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }
    /// The folder it is in.
    std::string parent() const;

private:
    std::string path_;
};

/// Has temporary files (the ICQ archive's runs and merges, SQLite's large sorts) made in
/// `folder`, where a confined run may write: sets TMPDIR and SQLITE_TMPDIR.
void keepTemporaryFilesIn(const std::string& folder);

} // namespace vqrt
