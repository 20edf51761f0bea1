#include "archiverun.h"

#include <iostream>
#include <optional>

#include "archive/database.h"
#include "archive/exportall.h"
#include "archive/summary.h"
#include "text/printable.h"

namespace cli {

namespace {

std::string labelled(const std::string& label, const std::string& value) {
    return text::padded(label, 11) + value + "\n";
}

std::string warn(const std::string& line) {
    std::cerr << "tolvane-import: warning: " << text::printable(line) << "\n";
    return line;
}

} // namespace

std::string writeArchive(const OwnerDatabase& database, const std::string& codepage,
                         const ArchiveOptions& options, const std::string& outDir,
                         const std::string& shownDir) {
    if (!options.enabled) {
        return labelled("Archive:", "not written (--no-archive)");
    }
    const std::string& path = database.path;
    if (!database.found) {
        const std::string owner = database.uin.empty() ? "the owner" : "UIN " + database.uin;
        return labelled("Archive:", text::printable(warn("no contact database of " + owner +
                                                         " found, so no archive is written")));
    }

    archive::Settings settings;
    settings.codepage = codepage;
    settings.timeZone = options.timeZone;
    settings.timeOffset = options.timeOffset;
    settings.useIndex = options.useIndex;
    std::string error;
    const std::unique_ptr<archive::Database> db = archive::Database::open(path, settings, error);
    archive::Archive read;
    archive::ExportResult result;
    if (db) {
        archive::fillArchive(*db, read);
        archive::ExportOptions exportOptions;
        exportOptions.allContacts = options.allContacts;
        result = archive::exportAll(read, outDir, exportOptions);
        // The files go into the output folder with the record.
        error = result.error.rfind(outDir, 0) == 0 ? shownDir + result.error.substr(outDir.size())
                                                   : result.error;
    }
    if (!error.empty()) {
        warn(error);
        return labelled("Archive:", "not written (" + text::printable(path) +
                                        (db ? " could not be exported" : " could not be read") +
                                        ", see the warning above)");
    }
    return labelled("Archive:", text::printable(path) + " (ICQ " + db->version() + ")") +
           archive::exportSummary(read, result, "  ");
}

} // namespace cli
