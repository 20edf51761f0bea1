#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/summary.h"
#include "ownerdatabase.h"

namespace cli {

/// How the ICQ archive is written after the plug-in's run.
struct ArchiveOptions {
    /// False with --no-archive.
    bool enabled = true;
    /// contacts.vcf and contacts.csv also hold contacts not on the list.
    bool allContacts = false;
    /// The source machine's zone (IANA name), in which times are shown.
    std::string timeZone = "UTC";
    /// True when --time-zone chose it.
    bool zoneGiven = false;
    /// Seconds added to the stored stamps to get UTC.
    int64_t timeOffset = 0;
    /// Walk the .idx when it is sound; false walks the data pages.
    bool useIndex = true;
    /// The messages in ICQ's Deleted folder are exported too, marked.
    bool deletedFolder = false;
    /// How the reading and writing go, as "stage" and "progress" lines (--progress-lines).
    bool progressLines = false;
    /// Otherwise, on a line of a terminal for a large database (false with -q).
    bool progressDrawn = true;
};

/// What writing the archive came to, for the summary.
struct ArchiveOutcome {
    bool written = false;
    /// Why nothing was written, in a few words; empty when it was.
    std::string why;
    /// The database's contacts that have a record, by standing.
    std::vector<archive::Count> contacts;
    /// The summary's text on the messages: "786 in 20 conversations exported to history/".
    std::string messagesText;
    /// Problems met while reading, listed in report.txt.
    size_t warnings = 0;
    /// The zone times are shown in and the one the installation's Windows was set to, when
    /// the run was given none and they differ; empty otherwise.
    std::string zoneHint;
    /// A stop signal ended the writing; what was written is to be dropped.
    bool interrupted = false;
};

/// Writes the ICQ archive of the owner's database (`database`, the one the plug-in's contacts
/// export read) into `outDir`, the folder of the run's bundle, which is saved together with
/// record.json. Texts are read in `codepage`; messages name the files as they will lie in
/// `shownDir`. A database that is missing or cannot be read, or an export that fails, gives a
/// warning, and the import goes on. With -v, tells which database was read. How far the
/// reading and writing are is shown as `options` ask.
ArchiveOutcome writeArchive(const OwnerDatabase& database, const std::string& codepage,
                            const ArchiveOptions& options, const std::string& outDir,
                            const std::string& shownDir);

/// What --list shows of an owner's database.
struct OwnerCounts {
    uint64_t onList = 0;
    uint64_t messages = 0;
};

/// Reads the owner's database to count its contacts on the list and its messages; nothing,
/// after a warning, when it is missing or cannot be read.
std::optional<OwnerCounts> countOwner(const OwnerDatabase& database, const std::string& codepage,
                                      const ArchiveOptions& options);

} // namespace cli
