#include <sys/stat.h>

#include <filesystem>

#include "runfixture.h"

namespace importtest {
namespace {

using namespace std::string_literals;

// Contacts as bare properties, the way the contact scan reads them.
std::string text(const std::string& name, const std::string& value) {
    return name + "\0k"s + static_cast<char>(value.size() + 1) + "\0"s + value + "\0"s;
}
std::string uin(uint32_t value) {
    std::string out = "UIN\0i"s;
    for (int shift = 0; shift < 32; shift += 8) {
        out += static_cast<char>(value >> shift);
    }
    return out + "\0"s;
}
// Bob with every field, then Eve (UIN 0xFFFFFFFF) without a last name.
const std::string kTwoContacts = "\0"s + text("FirstName", "Robert") + text("LastName", "Smith") +
                                 text("MyDefinedHandle", "Bobby") + text("NickName", "Bob") +
                                 text("PrimaryEmail", "bob@example.com") + uin(1001) +
                                 text("FirstName", "Eva") + text("MyDefinedHandle", "Evi") +
                                 text("NickName", "Eve") + uin(0xFFFFFFFF);

class ContactsExport : public ImportRun {
protected:
    /// A run without page of a fresh plug-in on another installation.
    static RecordingIO importFrom(IcqInstallation& installation, tarvex& other) {
        other.setArbiter(&installation.host.arbiter);
        const PasswordDialogAnswer answer("pw", true);
        ::testing::internal::CaptureStdout();
        EXPECT_TRUE(other.checkDependency());
        RecordingIO record;
        EXPECT_EQ(other.activatePlugin(&record, 0), 0);
        ::testing::internal::GetCapturedStdout();
        return record;
    }
};

TEST_F(ContactsExport, WritesEachContactInItsOwnSection) {
    testsupport::writeFile(icq.icqFile("2000a/111.dat"), kTwoContacts);
    discover();
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(
        section("CONTACTS"),
        (Lines{"begin contact_1", "UIN=1001", "First_Name=Robert", "Last_Name=Smith",
               "Description=Bobby", "Nickname=Bob", "Email=bob@example.com", "end",
               "begin contact_2", "UIN=-1", "First_Name=Eva", "Last_Name=LastName",
               "Description=Evi", "Nickname=Eve", "Email=PrimaryEmail", "end", "No_contacts=2"}));
}

// The folder the version names wins when it holds a database; otherwise the later ICQ folders
// are tried in order. A named pipe is no database. A CRLF owner file's UIN names the file.
TEST_F(ContactsExport, DatabaseFolderFollowsTheVersionThenLaterIcqFolders) {
    struct Case {
        long version;    // 0: none given, which means 319
        Lines databases; // the first is the full one, the others hold no contact
        std::string expected;
    };
    const Case cases[] = {
        {319, {"Db99b", "2000a"}, "Db99b"},
        {320, {"2000a", "Db99b"}, "2000a"},
        {0, {"Db99b"}, "Db99b"},
        {2000, {"2000b", "NewDB"}, "2000b"},
        {2000, {"2000a", "2003a"}, "2000a"},
        {2000, {"2000b", "fifo 2000a"}, "2000b"},
        {2000, {"fifo 2000a"}, "2000a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        IcqInstallation other;
        other.install(c.version);
        other.addOwner("5.uin", "Old", "12345", false, "\r\n");
        for (const std::string& folder : c.databases) {
            if (folder.rfind("fifo ", 0) == 0) {
                std::filesystem::create_directories(other.icqFile(folder.substr(5)));
                ASSERT_EQ(mkfifo(other.icqFile(folder.substr(5) + "/12345.dat").c_str(), 0644), 0);
            } else {
                testsupport::writeFile(other.icqFile(folder + "/12345.dat"),
                                       &folder == &c.databases.front() ? kTwoContacts : "");
            }
        }
        tarvex plugin(nullptr);
        const RecordingIO record = importFrom(other, plugin);
        EXPECT_EQ(std::string(plugin.contactsDbPath), other.icqFile(c.expected + "/12345.dat"));
        EXPECT_STREQ(plugin.ownerUin, "12345");
        const bool full = c.databases.front().rfind("fifo ", 0) != 0;
        EXPECT_NE(std::find(record.lines.begin(), record.lines.end(),
                            full ? "No_contacts=2" : "No_contacts=0"),
                  record.lines.end());
    }
}

// The UIN comes from the owner file; as a path it would lead out of the ICQ folder. Without
// an owner folder, no database is looked for at all.
TEST_F(ContactsExport, NoDatabaseOutsideTheIcqFolder) {
    icq.addOwner("111.uin", "Rover", "../../../elsewhere");
    testsupport::writeFile(icq.icqFile("2000a/111.dat"), kTwoContacts);
    testsupport::writeFile(icq.dir.file("elsewhere.dat"), kTwoContacts);
    discover();
    ASSERT_EQ(run(), 0);
    EXPECT_STREQ(plugin.contactsDbPath, "");
    EXPECT_EQ(section("CONTACTS"), Lines{"No_contacts=0"});

    icq.addOwner("111.uin", "Rover", "111");
    discover();
    plugin.uinDir[0] = '\0';
    ASSERT_EQ(run(), 0);
    EXPECT_STREQ(plugin.contactsDbPath, "");
    EXPECT_EQ(section("CONTACTS"), Lines{"No_contacts=0"});
}

} // namespace
} // namespace importtest
