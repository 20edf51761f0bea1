#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fdio.h"

namespace vqrt {

/// Whose record a bundle holds.
struct BundleIdentity {
    std::string installation; ///< the Windows root it was imported from, absolute
    std::string owner;        ///< the owner's id there (an ICQ UIN); empty when unknown
};

/// The output folder of an import. One import at a time writes there (an flock on its lock
/// file); each run writes its bundle into a staging folder of its own inside it, and at the end
/// either moves it into place (commit) or drops it, so an earlier bundle is replaced as a whole
/// or not at all. Beside the bundle a small hidden file keeps its identity and its members.
/// A staging folder or temporary file that a killed run left is removed by the next run.
class OutputFolder {
public:
    /// Creates the folder (with parents) when missing, locks it, removes what killed runs left
    /// and makes the staging folder. Null with one line in `error` when that cannot be done,
    /// as when another import holds the folder.
    static std::unique_ptr<OutputFolder> open(const std::string& path, std::string& error);
    /// Drops the staging folder unless it was committed.
    ~OutputFolder();
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;

    const std::string& path() const { return path_; }
    /// Where the run writes its bundle.
    const std::string& staging() const { return staging_; }
    /// True when the folder held a bundle when it was opened: its identity file, or the
    /// record.json of an older version.
    bool holdsBundle() const { return holdsBundle_; }
    /// What the earlier bundle says of itself; nothing without one, or for a bundle of an
    /// older version, which kept no identity.
    const std::optional<BundleIdentity>& earlierIdentity() const { return earlierIdentity_; }
    /// Whose record the folder holds: the earlier identity, or for a bundle of an older version
    /// the UIN of its record's owner (and no installation); nothing when that is unknown.
    std::optional<BundleIdentity> whoseRecord() const;
    /// Those of `names` that the folder holds and the earlier bundle did not: somebody else's
    /// files or folders (empty folders aside), which a bundle must not replace. Folders end in
    /// "/".
    std::vector<std::string> strangers(const std::vector<std::string>& names) const;
    /// Syncs the staging folder's file system, then moves every entry of the staging folder
    /// into the folder, each replacing the entry of its name, record.json last; what else the
    /// earlier bundle held is removed. False with one
    /// line in `error`, and nothing moved, when an entry would replace a stranger; false when
    /// an entry cannot be moved.
    bool commit(const BundleIdentity& identity, std::string& error);
    /// Removes the staging folder and what it holds.
    void discard();

private:
    OutputFolder(std::string path, UniqueFd folder, UniqueFd lock);
    void readEarlierBundle();
    void removeLeftovers() const;
    bool moveIn(int staging, const std::string& name, std::string& error) const;

    std::string path_;
    UniqueFd folder_;
    UniqueFd lock_;
    std::string staging_;
    bool holdsBundle_ = false;
    std::optional<BundleIdentity> earlierIdentity_;
    std::set<std::string> earlierMembers_;
};

/// What the bundle in `folder` says of itself; nothing without an identity file.
std::optional<BundleIdentity> bundleIdentity(const std::string& folder);

/// How a record of `earlier` differs from one of `now`: "another installation (/mnt/old)",
/// "another owner (UIN 31415926)", or empty when it does not or names no owner (a record of
/// a run that found no ICQ holds nothing to lose).
std::string otherRecord(const std::optional<BundleIdentity>& earlier, const BundleIdentity& now);

} // namespace vqrt
