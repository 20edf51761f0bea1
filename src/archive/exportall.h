#pragma once

#include "archive/archive.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace archive {

/// Which exports to write, and which contacts the contact lists hold.
struct ExportOptions {
    /// contacts.vcf and contacts.csv also hold contacts not on the list, marked.
    bool allContacts = false;
    bool vcard = true;
    bool csv = true;
    bool history = true;
    bool sqlite = true;
    /// An earlier export of another owner in the folder is replaced too; without it the export
    /// stops before writing anything.
    bool replaceOther = false;
    /// Once this holds a non-zero value (a stop signal's number), the export ends at its next
    /// message and puts nothing in place; null: it is never stopped.
    const std::atomic<int>* stop = nullptr;
};

/// What an export wrote, or why it stopped.
struct ExportResult {
    /// Empty on success; else one line, `PATH: what happened (cause)`.
    std::string error;
    /// Ended by `ExportOptions::stop`; the folder is as it was.
    bool stopped = false;
    /// Contacts written to contacts.vcf or contacts.csv (all contacts for the database alone).
    uint64_t contacts = 0;
    uint64_t messages = 0;
    /// Of `messages`, those in ICQ's Deleted folder (Settings::deletedFolder).
    uint64_t inDeletedFolder = 0;
    uint64_t conversations = 0;
};

/// What of the folder `history` no export wrote: anything but regular .html and .txt files,
/// by name. Empty when there is no such folder.
std::vector<std::string> strangersInHistory(const std::string& history);

/// Why an import's bundle may not go into `folder`, in one line; empty when it may.
/// `strangers` are the entries of its names that no earlier bundle wrote there; with
/// `earlierHistory` (the history/ there is the earlier bundle's, which is replaced as a whole)
/// what somebody put into that history/ counts too.
std::string bundleRefusal(const std::string& folder, const std::vector<std::string>& strangers,
                          bool earlierHistory);

/// True when `folder` holds an ICQ archive an export or an import wrote: the report.txt it
/// writes last beside icq-archive.sqlite, which the window reads.
bool holdsArchive(const std::string& folder);

/// True when `folder` holds what an import or an export wrote there, which the window shows
/// again: an import's record.json, or an archive (holdsArchive).
bool holdsEarlierOutput(const std::string& folder);

/// For a folder that holds what an import or an export wrote: "; it holds an import or ICQ
/// archive saved earlier, which the window shows: tolvane --open "FOLDER"". Empty for another.
std::string earlierOutputAdvice(const std::string& folder);

/// The names of what exportAll writes into its folder with `options`.
std::vector<std::string> exportNames(const ExportOptions& options = {});

/// Writes the chosen exports of `archive` into `folder` (created when missing):
/// contacts.vcf, contacts.csv, history/ (a page and a text file per conversation, index.html)
/// and icq-archive.sqlite, then report.txt counting every entry by kind and outcome. Each file
/// is written under a temporary name and renamed when complete. Times are shown in
/// archive.settings.timeZone. Where `folder` holds an entry of one of those names, it must be
/// of an earlier export (the folder holds its report.txt), and history/ must hold nothing but
/// pages and text files; otherwise nothing is written and the error names the entry.
ExportResult exportAll(const Archive& archive, const std::string& folder,
                       const ExportOptions& options = {});

} // namespace archive
