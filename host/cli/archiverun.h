#pragma once

#include <cstdint>
#include <string>

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
    /// Seconds added to the stored stamps to get UTC.
    int64_t timeOffset = 0;
    /// Walk the .idx when it is sound; false walks the data pages.
    bool useIndex = true;
};

/// Writes the ICQ archive of the owner the plug-in imported into `outDir`, the folder of the
/// run's bundle, which is saved together with record.json. The database is the one the
/// plug-in's contacts export read (`database`); texts are read in `codepage`; messages name
/// the files as they will lie in `shownDir`. Answers the summary's lines; a database that is
/// missing or cannot be read, or an export that fails, gives a warning on standard error and a
/// line that says so, and the import goes on.
std::string writeArchive(const OwnerDatabase& database, const std::string& codepage,
                         const ArchiveOptions& options, const std::string& outDir,
                         const std::string& shownDir);

} // namespace cli
