#include "archiverun.h"

#include <unistd.h>

#include <memory>

#include "archive/database.h"
#include "archive/exportall.h"
#include "diagnostics.h"
#include "progress/progressline.h"
#include "terminalagent.h"

namespace cli {

namespace {

// The database opened for reading, or null after a warning that says why not.
std::unique_ptr<archive::Database> openDatabase(const OwnerDatabase& database,
                                                const std::string& codepage,
                                                const ArchiveOptions& options,
                                                const archive::OpenProgress& told = {}) {
    if (!database.found) {
        const std::string owner = database.uin.empty() ? "the owner" : "UIN " + database.uin;
        warn("no contact database of " + owner + " found" +
             (database.path.empty() ? std::string() : " (looked for " + database.path + ")"));
        return nullptr;
    }
    archive::Settings settings;
    settings.codepage = codepage;
    settings.timeZone = options.timeZone;
    settings.timeOffset = options.timeOffset;
    settings.useIndex = options.useIndex;
    settings.deletedFolder = options.deletedFolder;
    std::string error;
    std::unique_ptr<archive::Database> db =
        archive::Database::open(database.path, settings, error, told);
    if (!db) {
        warn(error);
    }
    return db;
}

} // namespace

ArchiveOutcome writeArchive(const OwnerDatabase& database, const std::string& codepage,
                            const ArchiveOptions& options, const std::string& outDir,
                            const std::string& shownDir) {
    ArchiveOutcome outcome;
    if (!options.enabled) {
        tell("contact database: " + (database.found ? database.path : "none") +
             " (not read: --no-archive)");
        outcome.why = "--no-archive";
        return outcome;
    }
    // A heavy user's history takes a while to write: the window shows a second run of its bar.
    progress::ProgressLine line(options.progressLines, options.progressDrawn &&
                                                           isatty(STDERR_FILENO) == 1 &&
                                                           progress::large({database.path}));
    line.setPhases(2);
    const std::unique_ptr<archive::Database> db =
        openDatabase(database, codepage, options, line.reading(database.path));
    line.clear();
    if (!db) {
        outcome.why = "see the warning above";
        return outcome;
    }
    tell("contact database: " + database.path + " (ICQ " + db->version() + ")");
    archive::Archive read;
    archive::fillArchive(*db, read);
    const progress::ProgressSource counted(*db, db->messageCount(), line,
                                           "Writing the ICQ archive");
    read.messages = &counted;
    archive::ExportOptions exportOptions;
    exportOptions.allContacts = options.allContacts;
    // A stop signal (the window's Cancel) ends the writing early; the caller drops the run.
    exportOptions.stop = &vqrt::TerminalAgent::stopSignal();
    const archive::ExportResult result = archive::exportAll(read, outDir, exportOptions);
    line.clear();
    if (result.stopped) {
        outcome.why = "interrupted";
        outcome.interrupted = true;
        return outcome;
    }
    if (!result.error.empty()) {
        // The files go into the output folder with the record.
        warn(result.error.rfind(outDir, 0) == 0 ? shownDir + result.error.substr(outDir.size())
                                                : result.error);
        outcome.why = "see the warning above";
        return outcome;
    }
    tell("archive written: contacts.vcf, contacts.csv, history/, icq-archive.sqlite, report.txt");
    outcome.written = true;
    outcome.contacts = archive::contactsByStanding(read.contacts);
    outcome.messagesText = archive::messagesText(read.report, result);
    outcome.warnings = read.report.warnings.size();
    return outcome;
}

std::optional<OwnerCounts> countOwner(const OwnerDatabase& database, const std::string& codepage,
                                      const ArchiveOptions& options) {
    const std::unique_ptr<archive::Database> db = openDatabase(database, codepage, options);
    if (!db) {
        return std::nullopt;
    }
    tell("contact database of UIN " + database.uin + ": " + database.path + " (ICQ " +
         db->version() + ")");
    OwnerCounts counts;
    for (const archive::Contact& contact : db->contacts()) {
        counts.onList += contact.hasRecord && contact.status == archive::ContactStatus::OnList;
    }
    counts.messages = db->messageCount();
    return counts;
}

} // namespace cli
