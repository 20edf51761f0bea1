#include <algorithm>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "dialogs/optionsdlg.h"
#include "icqentries.h"
#include "plugin/tarvex.h"
#include "support/dialoganswer.h"
#include "support/icqtree.h"

// The import run with the contacts and sounds exports it drives.
namespace {

using testsupport::IcqInstallation;
using testsupport::PasswordDialogAnswer;
using testsupport::RecordingIO;
using Lines = std::vector<std::string>;

/// A contact database of one contact, UIN 1001.
std::string oneContact() {
    std::string bytes;
    mkwin::appendTextProperty(bytes, "NickName", "Bob");
    mkwin::appendIntProperty(bytes, "UIN", 1001);
    return bytes;
}

const char* const kPrefs = "Software\\Mirabilis\\ICQ\\DefaultPrefs\\";
const char* const kOwnerPrefs = "Software\\Mirabilis\\ICQ\\Owners\\111\\Prefs\\";

/// One ICQ owner "Rover" (UIN 111, personal sounds) on a fake host, and a run of the plug-in.
class ImportRun : public ::testing::Test {
protected:
    ImportRun() {
        plugin.setArbiter(&icq.host.arbiter);
        icq.install();
        icq.addOwner("111.uin", "Rover", "111", true);
        auto& registry = icq.host.registry;
        registry.setString("HKEY_CURRENT_USER", kPrefs, "Default Server Host", "login.icq.com");
        registry.setDword("HKEY_CURRENT_USER", kPrefs, "Default Server Port", 5190);
        registry.setString("HKEY_CURRENT_USER", kOwnerPrefs, "PlaySound", "Yes");
        registry.setString("HKEY_CURRENT_USER", std::string(kOwnerPrefs) + "Sounds\\", "ICQMessage",
                           "C:\\Program Files\\ICQ\\Sounds\\ICQMessage.wav");
        icq.host.agent.widget = &hostWindow;
    }

    void discover() {
        ::testing::internal::CaptureStdout();
        ASSERT_TRUE(plugin.checkDependency());
        ::testing::internal::GetCapturedStdout();
    }
    /// Shows the options page with a typed password.
    void showPage(const char* password = "pw") {
        hostWindow.show();
        plugin.showDlg(0, &hostWindow);
        ASSERT_NE(plugin.optionsDlg, nullptr);
        plugin.optionsDlg->m_pOwnerPassword->setText(QString::fromUtf8(password));
    }
    /// Runs the import; a password dialog that opens is answered with `password`.
    int run(const char* password = "pw", bool accept = true) {
        io.lines.clear();
        const PasswordDialogAnswer answer(password, accept);
        ::testing::internal::CaptureStdout();
        const int result = plugin.activatePlugin(&io, 0);
        stdoutText = ::testing::internal::GetCapturedStdout();
        asked = answer.answered();
        return result;
    }
    /// Clicks a box of the page where a user would, on its indicator.
    void click(const char* name) const {
        auto* box = plugin.optionsDlg->findChild<QAbstractButton*>(name);
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }
    std::string sound(const std::string& name) const {
        return "file " + name + "=\"" + icq.icqFile("Sounds/") + name + ".wav\"";
    }
    /// The record of a complete run without page, given the password.
    Lines fullRecord(const std::string& password) const {
        // clang-format off
        return {"begin ICQ_FAILURE", "ICQ_VQX_STATUS=ICQ_VQX_NO", "end",
                "begin ICQ_IMPORTED_SETTINGS", "ICQ_HOST_SERVER_NAME=login.icq.com",
                "ICQ_HOST_SERVER_PORT=5190", "ICQ_USER_SETTINGS=ICQ_VQX_YES",
                "ICQ_USER_CONTACTS=ICQ_VQX_YES", "ICQ_APPEND_CONTACTS=ICQ_VQX_YES",
                "ICQ_SOUNDS_SETTINGS_PRESENT=ICQ_VQX_YES", "end",
                "begin ICQ_OWNER", "UIN=111", "Nickname=Rover", "Password=" + password, "end",
                "begin CONTACTS", "No_contacts=0", "end",
                "begin ICQ_SOUNDS_SETTINGS", "PlaySound=ICQ_VQX_YES", sound("ICQMessage"), "end",
                "flush"};
        // clang-format on
    }
    /// The lines between "begin <name>" and the next "end"; {"absent"} without the section.
    Lines section(const std::string& name) const {
        const auto begin = std::find(io.lines.begin(), io.lines.end(), "begin " + name);
        if (begin == io.lines.end()) {
            return {"absent"};
        }
        return Lines(begin + 1, std::find(begin, io.lines.end(), "end"));
    }

    QWidget hostWindow;
    IcqInstallation icq;
    tarvex plugin{nullptr};
    RecordingIO io;
    std::string stdoutText;
    int asked = 0; ///< password dialogs answered in the last run
};

const std::vector<int> kAllSteps = {5, 5, 5, 10, 10, 5, 10, 10};
const Lines kFailure = {"begin ICQ_FAILURE", "ICQ_VQX_STATUS=ICQ_VQX_YES", "end", "flush"};

TEST_F(ImportRun, WithoutPageAsksThePasswordAndTakesTheFirstOwner) {
    icq.addOwner("999.uin", "Zulu", "999");
    discover();
    EXPECT_EQ(run("s3cret"), 0);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(io.lines, fullRecord("s3cret"));
    EXPECT_EQ(icq.host.agent.steps, kAllSteps);
    EXPECT_EQ(stdoutText, "\n Hi5 in fileio destructor\n");
}

// The record keeps what was written before the n-th progress step answered 32; open
// sections stay open and nothing is flushed.
TEST_F(ImportRun, CancelStopsAtOnce) {
    const long linesBefore[] = {0, 3, 3, 14, 16, 17, 19, 23};
    const Lines full = fullRecord("pw");
    discover();
    for (int step = 1; step <= 8; ++step) {
        icq.host.agent.cancelAtStep = step;
        icq.host.agent.steps.clear();
        EXPECT_EQ(run(), -1);
        EXPECT_EQ(io.lines, Lines(full.begin(), full.begin() + linesBefore[step - 1])) << step;
        EXPECT_EQ(static_cast<int>(icq.host.agent.steps.size()), step);
    }
    EXPECT_TRUE(icq.host.agent.messages.empty());
}

// An owner file gone after discovery gives empty values; once no owner is found, or the
// password is refused, only the failure record is written.
TEST_F(ImportRun, MissingOwnerFileOrRefusedPassword) {
    discover();
    std::remove(icq.icqFile("uin/111.uin").c_str());
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(section("ICQ_OWNER"), (Lines{"UIN=", "Nickname=", "Password=pw"}));
    discover();
    icq.host.agent.steps.clear();
    // The password is asked before the owner is looked at.
    EXPECT_EQ(run("", false), -1);
    EXPECT_EQ(io.lines, kFailure);
    EXPECT_TRUE(icq.host.agent.steps.empty());
    EXPECT_EQ(run(), -1);
    EXPECT_EQ(io.lines, kFailure);
    showPage("");
    EXPECT_EQ(run(), -1);
    EXPECT_EQ(io.lines, kFailure);
    EXPECT_EQ(icq.host.agent.messages,
              (Lines{"Error loading UIN file!", "User password has not been set!",
                     "No user profile has been set.", "No user profile has been set."}));
    EXPECT_EQ(icq.host.agent.messageKinds, std::vector<int>(4, 0x6000 + 50));
}

// A typed password is used without asking. Contacts are appended unless they overwrite, or
// their box is unticked or disabled.
TEST_F(ImportRun, AppendFlagFollowsOverwriteAndTheContactsBox) {
    discover();
    showPage("p\xC3\xA4ss");
    const auto flags = [&] {
        EXPECT_EQ(run("never"), 0);
        const Lines s = section("ICQ_IMPORTED_SETTINGS");
        return s[3] + " " + s[4];
    };
    EXPECT_EQ(flags(), "ICQ_USER_CONTACTS=ICQ_VQX_YES ICQ_APPEND_CONTACTS=ICQ_VQX_YES");
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(section("ICQ_OWNER")[2], "Password=p\xC3\xA4ss");
    click("m_pOverwriteContacts");
    EXPECT_EQ(flags(), "ICQ_USER_CONTACTS=ICQ_VQX_YES ICQ_APPEND_CONTACTS=ICQ_VQX_NO");
    click("m_pOverwriteContacts");
    plugin.optionsDlg->m_pImportContacts->click();
    EXPECT_EQ(flags(), "ICQ_USER_CONTACTS=ICQ_VQX_NO ICQ_APPEND_CONTACTS=ICQ_VQX_YES");
    EXPECT_EQ(section("CONTACTS"), Lines{"absent"});
    plugin.optionsDlg->m_pImportContacts->setEnabled(false);
    EXPECT_EQ(flags(), "ICQ_USER_CONTACTS=ICQ_VQX_NO ICQ_APPEND_CONTACTS=ICQ_VQX_NO");
}

// The folder the version names wins when it holds a database; otherwise the later ICQ folders
// are tried in order. A named pipe is no database. A CRLF owner file's UIN names the file.
TEST_F(ImportRun, ContactDatabaseFolderFollowsTheVersionThenLaterIcqFolders) {
    icq.addOwner("111.uin", "Rover", "111", true, "\r\n");
    for (const auto& [version, databases, expected] :
         {std::tuple<long, Lines, std::string>{319, {"Db99b", "2000a"}, "Db99b"},
          {2000, {"2000a", "2003a"}, "2000a"},
          {2000, {"2000b", "NewDB"}, "2000b"},
          {2000, {"2000b", "fifo 2000a"}, "2000b"}}) {
        SCOPED_TRACE(expected);
        for (const char* folder : {"Db99b", "2000a", "2000b", "2003a", "NewDB"}) {
            std::filesystem::remove_all(icq.icqFile(folder));
        }
        icq.install(version);
        for (const std::string& folder : databases) {
            const bool fifo = folder.rfind("fifo ", 0) == 0;
            const std::string path = icq.icqFile(folder.substr(fifo ? 5 : 0) + "/111.dat");
            std::filesystem::create_directories(std::filesystem::path(path).parent_path());
            if (fifo) {
                ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
            } else {
                testsupport::writeFile(path, &folder == &databases.front() ? oneContact() : "");
            }
        }
        discover();
        ASSERT_EQ(run(), 0);
        EXPECT_EQ(std::string(plugin.contactsDbPath), icq.icqFile(expected + "/111.dat"));
        EXPECT_EQ(std::count(io.lines.begin(), io.lines.end(), "UIN=1001"), 1);
    }
}

// The UIN comes from the owner file; as a path it would lead out of the ICQ folder.
TEST_F(ImportRun, NoContactDatabaseOutsideTheIcqFolder) {
    icq.addOwner("111.uin", "Rover", "../../../elsewhere");
    testsupport::writeFile(icq.dir.file("elsewhere.dat"), oneContact());
    discover();
    ASSERT_EQ(run(), 0);
    EXPECT_STREQ(plugin.contactsDbPath, "");
    EXPECT_EQ(section("CONTACTS"), Lines{"No_contacts=0"});
}

// PlaySound is "Yes" only for exactly Yes; events without a path are left out. An owner without
// personal sounds gets their own without a page, the default ones on the page.
TEST_F(ImportRun, SoundsExport) {
    const std::string ownerSounds = std::string(kOwnerPrefs) + "Sounds\\";
    icq.host.registry.setString("HKEY_CURRENT_USER", ownerSounds, "ICQALAdmin", "");
    icq.host.registry.setString("HKEY_CURRENT_USER", std::string(kPrefs) + "Sounds\\", "ICQBell",
                                "C:\\Program Files\\ICQ\\Sounds\\ICQBell.wav");
    discover();
    for (const auto& [value, expected] :
         {std::pair<const char*, Lines>{"yes", {"PlaySound=ICQ_VQX_NO", sound("ICQMessage")}},
          {"", {sound("ICQMessage")}}}) {
        icq.host.registry.setString("HKEY_CURRENT_USER", kOwnerPrefs, "PlaySound", value);
        ASSERT_EQ(run(), 0);
        EXPECT_EQ(section("ICQ_SOUNDS_SETTINGS"), expected) << value;
    }
    icq.addOwner("111.uin", "Rover", "111");
    icq.host.registry.remove("HKEY_CURRENT_USER", std::string(kOwnerPrefs) + "Sounds",
                             "ICQALAdmin");
    discover();
    for (const char* event : {"ICQMessage", "ICQBell"}) {
        ASSERT_EQ(run(), 0);
        EXPECT_EQ(section("ICQ_SOUNDS_SETTINGS"), Lines{sound(event)});
        showPage();
    }
}

} // namespace
