#include "archive/exportall.h"

#include "support/samplearchive.h"
#include "support/tempdir.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using testsupport::readFile;

// Every file below `folder` by its relative path, with its bytes.
std::map<std::string, std::string> filesIn(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files[fs::relative(entry.path(), folder).string()] = readFile(entry.path().string());
        }
    }
    return files;
}

TEST(ExportAll, SameBytesWhateverTheMachinesTimeZone) {
    const testsupport::SampleArchive sample;
    const testsupport::TempDir dir;
    std::map<std::string, std::string> first;
    for (const char* machineZone : {"UTC", "Asia/Kolkata"}) {
        setenv("TZ", machineZone, 1);
        tzset();
        const archive::ExportResult result =
            archive::exportAll(sample.archive, dir.file(machineZone));
        EXPECT_EQ(result.error, "");
        EXPECT_EQ(result.contacts, 3u);
        EXPECT_EQ(result.messages, 6u);
        EXPECT_EQ(result.conversations, 3u);
        const auto files = filesIn(dir.file(machineZone));
        EXPECT_EQ(files.size(), 11u); // 4 files, 6 of conversations and the index
        if (first.empty()) {
            first = files;
        } else {
            EXPECT_EQ(files, first);
        }
    }
    unsetenv("TZ");
    tzset();
}

TEST(ExportAll, ReportCountsEveryEntryAndListsTheWarnings) {
    testsupport::SampleArchive sample;
    sample.archive.report.entries[{"message", "in the Deleted folder"}] = 2;
    // What the reading delivered: the export says what became of it instead.
    sample.archive.report.entries[{"message", archive::kReadOutcome}] = 6;
    sample.archive.report.entries[{"contact", archive::kReadOutcome}] = 2;
    sample.archive.report.sources = {"/old/1111.dat (ICQ 2000b, read through its index)"};
    sample.archive.report.warnings = {"entry 9 at offset 0x40: text length 900 past the end"};
    const testsupport::TempDir dir;
    ASSERT_EQ(archive::exportAll(sample.archive, dir.path()).error, "");
    EXPECT_EQ(readFile(dir.file("report.txt")),
              "ICQ archive of Bob (1111)\n"
              "Texts read as CP1252; stored times plus 0 s taken as UTC; times shown in "
              "Europe/Stockholm\n"
              "\nRead from\n"
              "  /old/1111.dat (ICQ 2000b, read through its index)\n"
              "\nWritten\n"
              "  contacts.vcf        1 contact; left out: 2 not on the list (--all-contacts)\n"
              "  contacts.csv        1 contact; left out: 2 not on the list (--all-contacts)\n"
              "  history/            3 conversations, 6 messages\n"
              "  icq-archive.sqlite  3 contacts, 6 messages\n"
              "\nEntries by kind and outcome\n"
              "       3  contact: exported\n"
              "       6  message: exported\n"
              "       2  message: in the Deleted folder\n"
              "\nMessages found in more than one copy and kept once: 0\n"
              "\nWarnings (1)\n"
              "  entry 9 at offset 0x40: text length 900 past the end\n");
}

TEST(ExportAll, ContactListsAloneCountWhatTheyLeaveOut) {
    const testsupport::SampleArchive sample;
    const testsupport::TempDir dir;
    archive::ExportOptions options;
    options.csv = options.history = options.sqlite = false;
    const archive::ExportResult result = archive::exportAll(sample.archive, dir.path(), options);
    EXPECT_EQ(result.contacts, 1u);
    EXPECT_EQ(result.messages, 0u);
    const std::string report = readFile(dir.file("report.txt"));
    EXPECT_NE(
        report.find("       1  contact: exported\n"
                    "       1  contact: not exported (other; --all-contacts adds it)\n"
                    "       1  contact: not exported (removed; --all-contacts adds it)\n"
                    "       6  message: not exported (neither history nor database chosen)\n"),
        std::string::npos)
        << report;
    options.allContacts = true;
    EXPECT_EQ(archive::exportAll(sample.archive, dir.path(), options).contacts, 3u);
    EXPECT_EQ(filesIn(dir.path()).size(), 2u);
}

TEST(ExportAll, FailuresAreOneLineWithPlaceAndCause) {
    const testsupport::TempDir dir;
    testsupport::writeFile(dir.file("file"), "x");
    testsupport::SampleArchive sample;
    EXPECT_EQ(archive::exportAll(sample.archive, dir.file("file/sub")).error,
              dir.file("file/sub") + ": could not create the folder (Not a directory)");
    // Links left in the output folder lead nothing outside it.
    fs::create_directories(dir.file("elsewhere"));
    fs::create_directories(dir.file("linked"));
    fs::create_directory_symlink(dir.file("elsewhere"), dir.file("linked/history"));
    fs::create_symlink(dir.file("elsewhere/victim"), dir.file("linked/.contacts.vcf.part"));
    EXPECT_EQ(archive::exportAll(sample.archive, dir.file("linked")).error,
              dir.file("linked/history") +
                  ": could not create the folder (a symbolic link is there)");
    EXPECT_TRUE(fs::is_empty(dir.file("elsewhere")));
    sample.archive.settings.timeZone = "Mars/Olympus";
    EXPECT_EQ(archive::exportAll(sample.archive, dir.file("out")).error,
              "Mars/Olympus: unknown time zone (not in the system's zone database)");
    EXPECT_FALSE(fs::exists(dir.file("out")));
}

} // namespace
