#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

#include "archive/exporterror.h"
#include "archive/merge.h"
#include "archive/summary.h"
#include "commands.h"
#include "progress/stopsignals.h"
#include "text/printable.h"

namespace icq {

namespace {

// One database opened, its archive, and the progress of its messages.
struct Copy {
    std::unique_ptr<archive::Database> db;
    archive::Archive archive;
    std::unique_ptr<ProgressSource> progress;
};

std::string fileName(const std::string& path) {
    return text::printable(std::filesystem::path(path).filename().string());
}

} // namespace

int runExport(const Options& o) {
    ProgressLine line = progressLine(o);
    std::vector<Copy> copies(o.databases.size());
    // Each copy is read, then merged when there are several; the history is exported once.
    line.setPhases(copies.size() > 1 ? 2 * copies.size() + 1 : 2);
    // The copies are open together: they share the message references kept in memory.
    Options each = o;
    each.settings.referencesInMemory =
        std::max<size_t>(o.settings.referencesInMemory / copies.size(), 4096);
    for (size_t i = 0; i < copies.size(); ++i) {
        int status = kDone;
        copies[i].db = openDatabase(o.databases[i], each, line, status);
        if (!copies[i].db) {
            return status;
        }
        archive::fillArchive(*copies[i].db, copies[i].archive);
        if (line.active()) {
            const std::string label =
                (copies.size() > 1 ? "Merging " : "Exporting ") + fileName(o.databases[i]);
            copies[i].progress = std::make_unique<ProgressSource>(
                *copies[i].db, copies[i].db->messageCount(), line, label);
            copies[i].archive.messages = copies[i].progress.get();
        }
    }

    std::optional<archive::MergedArchive> merged;
    std::unique_ptr<ProgressSource> mergedProgress;
    archive::Archive exported = copies.front().archive;
    if (copies.size() > 1) {
        std::vector<archive::MergeInput> inputs;
        for (size_t i = 0; i < copies.size(); ++i) {
            inputs.push_back({o.databases[i], &copies[i].archive});
        }
        try {
            merged.emplace(inputs);
        } catch (const archive::ExportError& e) {
            return fail(kUnusable, e.what());
        }
        line.clear();
        exported = merged->archive();
        if (line.active()) {
            uint64_t total = 0;
            for (const Copy& copy : copies) {
                total += copy.db->messageCount();
            }
            mergedProgress = std::make_unique<ProgressSource>(
                *exported.messages, total - exported.report.mergedMessages, line,
                "Exporting the merged history");
            exported.messages = mergedProgress.get();
        }
    }

    archive::ExportOptions options;
    options.allContacts = o.allContacts;
    options.replaceOther = o.replace;
    // Ctrl-C while the export is written ends it cleanly: nothing of it is put in place, and
    // what it wrote under temporary names goes.
    const progress::StopSignals stops;
    options.stop = &progress::StopSignals::caught();
    const archive::ExportResult result = archive::exportAll(exported, o.out, options);
    line.clear();
    if (result.stopped) {
        const int signal = progress::StopSignals::caught().load();
        return fail(128 + signal, "interrupted by " + progress::signalName(signal) + "; " + o.out +
                                      " is as it was");
    }
    if (!result.error.empty()) {
        return fail(kUnusable, result.error);
    }
    printWarnings(exported.report, o);
    if (!o.quiet) {
        std::cout << archive::exportSummary(exported, result, "")
                  << "Written:   " << text::printable(o.out)
                  << ": contacts.vcf, contacts.csv, history/, icq-archive.sqlite, report.txt\n";
    }
    return kDone;
}

} // namespace icq
