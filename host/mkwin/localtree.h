#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mkwin {

/// A path below the root: its components, in the case to create them with.
using RelativePath = std::vector<std::string>;

/// The components of a Windows path on drive C: ("C:\Program Files\ICQ" gives "Program Files",
/// "ICQ"). Backslashes and slashes separate; empty and "." components are dropped. Nothing,
/// with a phrase in `problem`, for a path that is not absolute on C:, that goes up with "..",
/// or that holds a NUL character.
std::optional<RelativePath> parseDrivePath(std::string_view windowsPath, std::string& problem);

/// True when `windowsPath` starts with a drive letter and a colon.
bool hasDriveLetter(std::string_view windowsPath);

/// True when `name` can be one path component: not empty, not "." or "..", without slashes,
/// backslashes or NUL characters.
bool isPlainName(std::string_view name);

/// `path` joined with "/" (for messages and answers).
std::string joinPath(const RelativePath& path);

/// Writes files and folders strictly below one root folder. Existing folders and files are
/// matched without regard to case (text::foldName), as Windows matches them, so every spelling of a
/// folder ends up in the same place; new ones get the case given. Symbolic links below the
/// root are never followed: meeting one is an error.
class LocalTree {
public:
    explicit LocalTree(std::string root);

    /// Creates the root folder and its missing parents.
    bool createRoot(std::string& error) const;
    /// The local path of the folder `path`, created with its missing parents.
    std::optional<std::string> folder(const RelativePath& path, std::string& error) const;
    /// The local path at which to write the file `path` (its folder created; an existing
    /// regular file of the same name, in any case, is reused).
    std::optional<std::string> file(const RelativePath& path, std::string& error) const;
    /// Writes `bytes` to the file `path`, replacing what it held.
    bool writeFile(const RelativePath& path, std::string_view bytes, std::string& error) const;

    const std::string& root() const { return root_; }

private:
    std::string root_;
};

} // namespace mkwin
