#pragma once

#include <string>

namespace gui {

/// Copies the import bundle in `staging` into the folder `target`, creating it when missing:
/// the files of each folder in it (files/ with the carried files, history/), the other files
/// beside record.json (the ICQ archive's exports), each through a temporary file renamed into
/// place with the mode it had, and record.json last, written to a temporary file, synced and
/// renamed over an earlier one. So a failed save never leaves a half-written record.json:
/// `target` keeps its earlier record.json, or has none. record.json is readable by its owner
/// only (it holds the ICQ password). Answers false with one line in `error` naming the file
/// and the cause; `carried` (when not null) receives the number of files written into files/.
bool saveBundle(const std::string& staging, const std::string& target, std::string& error,
                int* carried = nullptr);

/// The exports a person can take out of an import, each as tolvane-import wrote it.
enum class ExportKind {
    ContactsVcard, ///< contacts.vcf, to a file
    ContactsCsv,   ///< contacts.csv, to a file
    HistoryHtml,   ///< the HTML pages of history/ with index.html, into a folder
    HistoryText    ///< the text files of history/, into a folder
};

/// Copies the export `kind` of the bundle in `staging` to `target` (a file or a folder, as
/// the kind says; a folder is created when missing). False with one line in `error`; `copied`
/// (when not null) receives the number of files written.
bool exportFiles(const std::string& staging, ExportKind kind, const std::string& target,
                 std::string& error, int* copied = nullptr);

} // namespace gui
