#pragma once

#include <cstdint>
#include <string>

class CArbiter;

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

/// Writes the ICQ archive of the owner the plug-in imported (`nickname`: the bytes the options
/// page chose) into `outDir`, beside record.json. The database is the one the plug-in's
/// contacts export reads: the owner's <UIN>.dat in the ICQ version's folder beside the owner
/// folder, else in the first of 2003a, 2002a, 2001a, 2000b, 2000a, Db99b and NewDB that has
/// one. Texts are read in `codepage`. Answers the summary's lines; a database that is missing
/// or cannot be read, or an export that fails, gives a warning on standard error and a line
/// that says so, and the import goes on.
std::string writeArchive(CArbiter& host, const std::string& nickname, const std::string& codepage,
                         const ArchiveOptions& options, const std::string& outDir);

} // namespace cli
