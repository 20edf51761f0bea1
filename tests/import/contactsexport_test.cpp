#include <sys/stat.h>

#include <filesystem>

#include "icqdb.h"
#include "runfixture.h"

namespace importtest {
namespace {

using mkwin::IcqContactRecord;
using mkwin::IcqDatabaseContent;

void writeDatabaseAt(const std::string& path, const IcqDatabaseContent& spec) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::string error;
    ASSERT_TRUE(mkwin::writeIcqDatabase(path, spec, error)) << error;
}

class ContactsExport : public ImportRun {
protected:
    void writeDatabase(const std::string& folder, const IcqDatabaseContent& spec,
                       const std::string& uin = "111") {
        writeDatabaseAt(icq.icqFile(folder + "/" + uin + ".dat"), spec);
    }
    static IcqDatabaseContent twoContacts() {
        IcqDatabaseContent spec;
        spec.ownerUin = 111;
        IcqContactRecord first;
        first.uin = 1001;
        first.nickName = "Bob";
        first.firstName = "Robert";
        first.lastName = "Smith";
        first.myDefinedHandle = "Bobby";
        first.primaryEmail = "bob@example.com";
        IcqContactRecord second;
        second.uin = 1002;
        second.nickName = "Eve";
        second.firstName = "Eva";
        second.primaryEmail = "eve@example.com";
        second.myDefinedHandle = "Evi";
        second.present = mkwin::kIcqAllProperties & ~mkwin::kIcqLastName;
        spec.contacts = {first, second};
        spec.historyBytes = 4096;
        return spec;
    }
    int importWith(const std::string& password = "pw") {
        PasswordDialogAnswer answer(password, true);
        return run();
    }
    /// A complete run of a fresh plug-in on another installation, without page.
    static RecordingIO importFrom(IcqInstallation& installation, tarvex& plugin) {
        plugin.setArbiter(&installation.host.arbiter);
        PasswordDialogAnswer answer("pw", true);
        ::testing::internal::CaptureStdout();
        EXPECT_TRUE(plugin.checkDependency());
        RecordingIO record;
        EXPECT_EQ(plugin.activatePlugin(&record, 0), 0);
        ::testing::internal::GetCapturedStdout();
        return record;
    }
    static bool holds(const RecordingIO& record, const std::string& line) {
        return std::find(record.lines.begin(), record.lines.end(), line) != record.lines.end();
    }
};

TEST_F(ContactsExport, WritesEachContactInItsOwnSection) {
    writeDatabase("2000a", twoContacts());
    discover();
    ASSERT_EQ(importWith(), 0);
    EXPECT_EQ(section("CONTACTS"),
              (Lines{"begin contact_1", "UIN=1001", "First_Name=Robert", "Last_Name=Smith",
                     "Description=Bobby", "Nickname=Bob", "Email=bob@example.com", "end",
                     "begin contact_2", "UIN=1002", "First_Name=Eva", "Last_Name=LastName",
                     "Description=Evi", "Nickname=Eve", "Email=eve@example.com", "end",
                     "No_contacts=2"}));
}

TEST_F(ContactsExport, VersionChoosesTheDatabaseFolder) {
    struct Case {
        long version;
        const char* folder;
    };
    for (const Case& c : {Case{319, "Db99b"}, Case{320, "2000a"}, Case{0, "Db99b"}}) {
        IcqInstallation other;
        other.install(c.version);
        other.addOwner("5.uin", "Old", "12345", false, "\r\n");
        IcqDatabaseContent spec = twoContacts();
        spec.ownerUin = 12345;
        writeDatabaseAt(other.icqFile(std::string(c.folder) + "/12345.dat"), spec);
        tarvex oldIcq(nullptr);
        const RecordingIO record = importFrom(other, oldIcq);
        EXPECT_EQ(std::string(oldIcq.contactsDbPath),
                  other.icqFile(std::string(c.folder) + "/12345.dat"));
        EXPECT_STREQ(oldIcq.ownerUin, "12345") << "the carriage return is cut";
        EXPECT_TRUE(holds(record, "No_contacts=2")) << c.version;
    }
}

TEST_F(ContactsExport, UinIsASigned32BitNumber) {
    IcqDatabaseContent spec = twoContacts();
    spec.contacts[0].uin = 2147483648u;
    spec.contacts[1].uin = 4294967295u;
    writeDatabase("2000a", spec);
    discover();
    ASSERT_EQ(importWith(), 0);
    const Lines contacts = section("CONTACTS");
    EXPECT_EQ(contacts[1], "UIN=-2147483648");
    EXPECT_EQ(contacts[9], "UIN=-1");
}

TEST_F(ContactsExport, MissingDatabaseGivesNoContacts) {
    discover();
    ASSERT_EQ(importWith(), 0);
    EXPECT_EQ(section("CONTACTS"), Lines{"No_contacts=0"});
}

// The full database lies in `chosen`, a one-contact one in `other`: the folder the version
// names wins when it holds a database; otherwise the later ICQ folders are tried in order.
TEST_F(ContactsExport, DatabaseFolderFollowsTheVersionThenLaterIcqFolders) {
    struct Case {
        const char* chosen;
        const char* other;
    };
    for (const Case& c : {Case{"2000b", "NewDB"}, Case{"2000a", "2003a"}}) {
        SCOPED_TRACE(c.chosen);
        IcqInstallation fresh;
        fresh.install();
        fresh.addOwner("111.uin", "Rover", "111");
        IcqDatabaseContent partial = twoContacts();
        partial.contacts.resize(1);
        writeDatabaseAt(fresh.icqFile(std::string(c.chosen) + "/111.dat"), twoContacts());
        writeDatabaseAt(fresh.icqFile(std::string(c.other) + "/111.dat"), partial);
        tarvex other(nullptr);
        const RecordingIO record = importFrom(fresh, other);
        EXPECT_EQ(std::string(other.contactsDbPath),
                  fresh.icqFile(std::string(c.chosen) + "/111.dat"));
        EXPECT_TRUE(holds(record, "No_contacts=2"));
    }
}

TEST_F(ContactsExport, RealisticDatabaseExportsExactlyTheExpectedContacts) {
    const IcqDatabaseContent spec = mkwin::realisticIcqDatabase(111, 2000, 1 << 20, 7);
    writeDatabase("2000a", spec);
    discover();
    ASSERT_EQ(importWith(), 0);
    const auto expected = mkwin::expectedContacts(spec);
    Lines lines;
    int n = 0;
    for (const auto& c : expected) {
        lines.push_back("begin contact_" + std::to_string(++n));
        lines.push_back("UIN=" + std::to_string(c.uin));
        lines.push_back("First_Name=" + c.firstName);
        lines.push_back("Last_Name=" + c.lastName);
        lines.push_back("Description=" + c.myDefinedHandle);
        lines.push_back("Nickname=" + c.nickName);
        lines.push_back("Email=" + c.primaryEmail);
        lines.push_back("end");
    }
    lines.push_back("No_contacts=" + std::to_string(expected.size()));
    EXPECT_GT(expected.size(), 1024u);
    EXPECT_EQ(section("CONTACTS"), lines);
}

TEST_F(ContactsExport, UncheckedContactsLeaveTheDatabaseAndTheUinAlone) {
    IcqInstallation crlf;
    crlf.install();
    crlf.addOwner("1.uin", "Dos", "777", false, "\r\n");
    tarvex plugin(&crlf.host.arbiter);
    ::testing::internal::CaptureStdout();
    ASSERT_TRUE(plugin.checkDependency());
    plugin.showDlg(0, &hostWindow);
    plugin.optionsDlg->m_pOwnerPassword->setText("pw");
    plugin.optionsDlg->m_pImportContacts->click();
    RecordingIO record;
    EXPECT_EQ(plugin.activatePlugin(&record, 0), 0);
    ::testing::internal::GetCapturedStdout();
    EXPECT_FALSE(holds(record, "begin CONTACTS"));
    EXPECT_STREQ(plugin.ownerUin, "777\r");
    EXPECT_STREQ(plugin.contactsDbPath, "");
    EXPECT_EQ(crlf.host.agent.steps, (std::vector<int>{5, 5, 5, 10, 10, 5, 10, 10}));
}

TEST_F(ContactsExport, WithoutAnOwnerFolderNoDatabaseIsLookedFor) {
    writeDatabase("2000a", twoContacts());
    discover();
    plugin.uinDir[0] = '\0';
    ASSERT_EQ(importWith(), 0);
    EXPECT_STREQ(plugin.contactsDbPath, "");
    EXPECT_EQ(section("CONTACTS"), Lines{"No_contacts=0"});
}

TEST_F(ContactsExport, OnlyARegularFileIsReadAsTheDatabase) {
    // A folder fails every read and a named pipe waits for a writer that never comes: both
    // count as no database, and the later folders are tried.
    struct Case {
        const char* label;
        void (*make)(const std::string& path);
    };
    const Case cases[] = {
        {"folder", [](const std::string& p) { std::filesystem::create_directories(p); }},
        {"named pipe", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); }},
    };
    for (const Case& c : cases) {
        for (const bool laterFolder : {false, true}) {
            SCOPED_TRACE(std::string(c.label) + (laterFolder ? ", database in 2000b" : ""));
            IcqInstallation other;
            other.install();
            other.addOwner("111.uin", "Rover", "111");
            std::filesystem::create_directories(other.icqFile("2000a"));
            c.make(other.icqFile("2000a/111.dat"));
            if (laterFolder) {
                writeDatabaseAt(other.icqFile("2000b/111.dat"), twoContacts());
            }
            tarvex plugin(nullptr);
            const RecordingIO record = importFrom(other, plugin);
            EXPECT_EQ(std::string(plugin.contactsDbPath),
                      other.icqFile(laterFolder ? "2000b/111.dat" : "2000a/111.dat"));
            EXPECT_TRUE(holds(record, laterFolder ? "No_contacts=2" : "No_contacts=0"));
        }
    }
}

TEST_F(ContactsExport, AUinWithASlashNamesNoDatabase) {
    // The UIN comes from the owner file; as a path it would lead out of the ICQ folder.
    IcqInstallation other;
    other.install();
    other.addOwner("1.uin", "Rover", "../../../elsewhere");
    std::filesystem::create_directories(other.icqFile("2000a"));
    writeDatabaseAt(other.icqFile("2000a/../../../elsewhere.dat"), twoContacts());
    tarvex plugin(nullptr);
    const RecordingIO record = importFrom(other, plugin);
    EXPECT_STREQ(plugin.contactsDbPath, "");
    EXPECT_TRUE(holds(record, "No_contacts=0"));
}

} // namespace
} // namespace importtest
