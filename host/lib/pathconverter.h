#pragma once

#include <map>
#include <string>

#include "vqrt/vantrytools.h"

namespace vqrt {

/// Maps Windows paths of the migrated installation to local paths below the mounted drives.
///
/// Paths read from a Windows disk are untrusted: the answer never leaves the drive's root, not
/// through "..", nor through a symbolic link inside the tree. Anything that cannot be mapped
/// safely (UNC paths, unknown drives, paths without a drive, escaping links) answers an empty
/// path. Only directory entries are read (lstat, readdir, realpath); nothing is written.
class PathConverter : public CVantryTools {
public:
    /// `windowsRoot` is drive C:; `drives` maps further letters (any case) to local folders.
    /// A C entry in `drives` is ignored: the Windows root is drive C.
    explicit PathConverter(const std::string& windowsRoot,
                           const std::map<char, std::string>& drives = {});

    /// Stores the local path of `windowsPath` in `localPath`, or empty when it has none; a path
    /// on a drive that is not given is kept in unmappedDrives().
    void convertPath(const std::string& windowsPath, std::string& localPath) override;

    /// The local path of `windowsPath`, or empty when it has none. `unknownDrive`, when not
    /// null, receives the upper-case letter of a drive that is not given, else 0.
    std::string convert(const std::string& windowsPath, char* unknownDrive = nullptr) const;

    /// The drives that paths asked through convertPath were on but that are not given, each
    /// with the first such path.
    const std::map<char, std::string>& unmappedDrives() const { return unmapped_; }

    /// The Windows folder in Windows form ("C:\WINDOWS", "C:\WINNT"), as found on drive C.
    std::string windowsFolder() const;

private:
    std::string expandPrefix(const std::string& path) const;

    std::map<char, std::string> drives_; ///< upper-case letter to local root, no trailing '/'
    std::map<char, std::string> unmapped_;
};

} // namespace vqrt
