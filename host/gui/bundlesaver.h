#pragma once

#include <functional>
#include <optional>
#include <string>

#include "outputfolder.h"

namespace gui {

/// How a save ended.
enum class SaveEnd {
    Saved,
    Declined, ///< the folder holds the record of another owner or installation, kept
    Failed
};

/// Saves the import bundle in `staging` into the folder `target` (created when missing) as
/// an import writes its output folder: under the folder's lock, copied into a staging folder
/// inside it and moved into place as a whole, record.json last; what else an earlier bundle
/// there held is removed. So a failed save leaves the earlier bundle as it was. Nothing of
/// anybody else's is replaced, and the record of another owner or installation only when
/// `replaceOther`, asked with its description ("another owner (UIN 31415926)"), answers true.
/// record.json is readable by its owner only (it holds the ICQ password). Unless saved, one
/// line in `error` names the file and the cause; `carried` (when not null) receives the
/// number of files written into files/. The archive of an ICQ folder read on its own is saved
/// without a record, with the `identity` the window gives it, as its folder keeps none.
SaveEnd saveBundle(const std::string& staging, const std::string& target, std::string& error,
                   int* carried = nullptr,
                   const std::function<bool(const std::string&)>& replaceOther = {},
                   const std::optional<vqrt::BundleIdentity>& identity = std::nullopt);

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
