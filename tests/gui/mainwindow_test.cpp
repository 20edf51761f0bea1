#include "mainwindow.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sys/resource.h>
#include <sys/time.h>

#include <csignal>

#include "contactspage.h"
#include "importprocess.h"
#include "messagemodel.h"
#include "messagespage.h"
#include "outputfolder.h"
#include "recordtree.h"
#include "soundspage.h"
#include "support/dialoganswer.h"
#include "support/openedurls.h"
#include "support/process.h"
#include "support/sample.h"
#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;
using gui::MainWindow;
using gui::PanelState;
using testsupport::ModalAnswer;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

constexpr int kRunTimeout = 60000;

// An XP machine whose user Alice has ICQ (when installed) with the owner Rover: personal sounds
// (ICQMessage names msg.wav, ICQALAdmin a file that is missing), a database of one contact and
// one message, in ICQ's Deleted folder.
nlohmann::json sample(bool installed) {
    nlohmann::json rover = nlohmann::json::parse(R"({"uin": 111, "nickname": "Rover",
      "lineEnd": "lf", "playSound": "Yes",
      "sounds": {"ICQALAdmin": {"path": "C:\\Program Files\\ICQ\\Sounds\\admin.wav",
                                "missing": true},
                 "ICQMessage": "C:\\Program Files\\ICQ\\Sounds\\msg.wav"},
      "database": {"contacts": [{"uin": 4711042, "nickname": "Jörg", "firstName": "Jörg",
                                 "lastName": "Weißmüller", "handle": "Jörg aus Köln",
                                 "email": "joerg@web.de", "status": "list"}],
                   "messages": [{"uin": 4711042, "time": "2002-11-23 19:02:11", "text": "Tschüss",
                                 "deleted": true}]}})");
    return {{"users", {"Alice"}},
            {"icq",
             {{"installed", installed},
              {"version", 2000},
              {"server", {{"host", "login.icq.com"}, {"port", 5190}}},
              {"owners", installed ? nlohmann::json::array({rover}) : nlohmann::json::array()}}}};
}

class WindowTest : public ::testing::Test {
public:
    void SetUp() override {
        // Each test keeps the window's settings in a folder of its own.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(dir.file("config")));
    }

    std::string root() const { return dir.file("C"); }
    void buildRover() { testsupport::buildSample(sample(true), root()); }

    std::unique_ptr<MainWindow> open(const std::string& windowsRoot,
                                     std::vector<std::string> plugins = {TARVEX_PLUGIN_PATH}) {
        gui::CommandLine options;
        options.host.windowsRoot = windowsRoot;
        options.importer = TOLVANE_IMPORT_PATH;
        options.icqReader = TOLVANE_ICQ_PATH;
        auto window = std::make_unique<MainWindow>(options, plugins,
                                                   std::vector<std::string>{"/opt/plugins"});
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return window;
    }
    // Rover's installation with the ICQ plug-in chosen and, unless null, `password` typed.
    std::unique_ptr<MainWindow> openRover(const char* password) {
        buildRover();
        auto window = open(root());
        choosePlugin(*window);
        EXPECT_EQ(window->panelState(), PanelState::Page);
        if (password != nullptr) {
            QTest::keyClicks(page(*window)->findChild<QLineEdit*>(), QString(password));
        }
        return window;
    }

    static void choosePlugin(MainWindow& window, int row = 0) {
        auto* list = window.findChild<QListView*>(QStringLiteral("pluginList"));
        const QRect item = list->visualRect(list->model()->index(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
    }
    static QDialog* page(MainWindow& window) { return window.findChild<QDialog*>(); }
    static QPushButton* button(MainWindow& window, const char* name) {
        return window.findChild<QPushButton*>(QString::fromLatin1(name));
    }
    static void click(QWidget* widget, QPoint at = {}) {
        QTest::mouseClick(widget, Qt::LeftButton, {}, at);
    }
    static QComboBox* zoneChoice(MainWindow& window) {
        return window.findChild<QComboBox*>(QStringLiteral("timeZoneChoice"));
    }
    TempDir dir;
};

// Every file below `folder` with its bytes.
std::map<std::string, std::string> filesBelow(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files[fs::relative(entry.path(), folder)] = readFile(entry.path());
        }
    }
    return files;
}

// Runs the import as a click does and waits until its pages show.
bool runImport(MainWindow& window) {
    QSignalSpy finished(&window, &MainWindow::importFinished);
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("importButton")),
                      Qt::LeftButton);
    return finished.wait(kRunTimeout);
}

// What the options panel says when there is nothing to import.
TEST_F(WindowTest, PanelSaysWhatIsWrongAndWhatToDo) {
    const std::string d = dir.path();
    testsupport::buildSample(sample(false), d + "/NoIcq");
    writeFile(d + "/Later/2003b/4711/Messages4711.dbf", "");
    fs::create_directories(d + "/Linked/2000a");
    writeFile(d + "/Elsewhere/4711.dat", "");
    fs::create_symlink(d + "/Elsewhere/4711.dat", d + "/Linked/2000a/4711.dat");
    testsupport::buildSample(sample(true), d + "/Broken");
    ASSERT_TRUE(fs::remove(d + "/Broken/WINDOWS/System32/config/SOFTWARE"));
    // A Windows 98 registry cut short: its ICQ databases all the same.
    nlohmann::json older = sample(true);
    older["layout"] = "98";
    older["users"] = nlohmann::json::array();
    testsupport::buildSample(older, d + "/Wrecked");
    testsupport::writeFile(d + "/Wrecked/WINDOWS/SYSTEM.DAT", "CREG");
    older = sample(false);
    older["layout"] = "98";
    testsupport::buildSample(older, d + "/Cut");
    testsupport::writeFile(d + "/Cut/WINDOWS/SYSTEM.DAT", "CREG");
    const std::tuple<std::string, std::string, PanelState, std::string> cases[] = {
        {d + "/C", TARVEX_PLUGIN_PATH, PanelState::NoInstallation,
         "This folder cannot be used as a Windows installation:\n" + d +
             "/C: not a directory (expected the root of a mounted Windows system volume)\n\n"
             "Choose the folder where the Windows system drive is mounted (it holds the Windows "
             "folder and Users or Documents and Settings) with Browse\u2026 above. If you kept "
             "only your ICQ folder, choose that."},
        {d + "/Later", TARVEX_PLUGIN_PATH, PanelState::NoInstallation,
         "This is an ICQ folder, not a Windows installation, and its database cannot be read:\n" +
             d +
             "/Later/2003b/4711: a database of ICQ 2003b or later (Messages4711.dbf), which this "
             "reader cannot read (it reads the <UIN>.dat of ICQ 99a to 2003a)"},
        {d + "/Linked", TARVEX_PLUGIN_PATH, PanelState::NoInstallation,
         "This is an ICQ folder, not a Windows installation.\n\nNot read, as links lead out of "
         "the folder: 2000a/4711.dat."},
        // Its registry cannot be read, its ICQ database still can.
        {d + "/Broken", TARVEX_PLUGIN_PATH, PanelState::IcqFolder,
         "ICQ is not installed on this Windows installation (" + d +
             "/Broken, user Alice): its registry names no ICQ program.\n\nIts ICQ databases can "
             "still be read on their own: " +
             d +
             "/Broken holds one owner's ICQ database, shown below.\n\nImport reads its contacts "
             "and message history; the server settings, the account and the sounds are not "
             "imported this way.\n\nFor them, add exports of its registry (.reg files made "
             "with regedit on the old machine) with Add .reg export\u2026 above."},
        {d + "/Wrecked", TARVEX_PLUGIN_PATH, PanelState::IcqFolder,
         "ICQ was not found on this Windows installation (" + d +
             "/Wrecked, user Default), "
             "whose registry could not be read whole:\n" +
             d +
             "/Wrecked/WINDOWS/SYSTEM.DAT: not a Windows 95, 98 or ME registry file (expected at "
             "least 92 bytes, found 4)\n\nIts ICQ databases can still be read on their own: " +
             d +
             "/Wrecked holds one owner's ICQ database, shown below.\n\nImport reads its "
             "contacts and message history; the server settings, the account and the sounds "
             "are not imported this way.\n\nFor them, add exports of its registry (.reg files "
             "made with regedit on the old machine) with Add .reg export\u2026 above."},
        {d + "/Cut", TARVEX_PLUGIN_PATH, PanelState::NothingToImport,
         "ICQ was not found on this Windows installation (" + d +
             "/Cut, user Alice), whose "
             "registry could not be read whole:\n" +
             d +
             "/Cut/WINDOWS/SYSTEM.DAT: not a Windows 95, 98 or ME registry file (expected at "
             "least 92 bytes, found 4)\n\nExports of its registry (.reg files made with regedit "
             "on the old machine) can stand in for it: add them with Add .reg export\u2026 "
             "above."},
        {d + "/NoIcq", TARVEX_PLUGIN_PATH, PanelState::NothingToImport,
         "ICQ is not installed on this Windows installation (" + d +
             "/NoIcq, user Alice): its registry names no ICQ program, so there is nothing to "
             "import.\n\nChoose the Windows installation or the user where ICQ was used, above."},
        {d + "/NoIcq", d + "/libnothing.so.1", PanelState::NoPlugins,
         "No plug-in found.\n\nLooked for plug-in libraries in:\n  /opt/plugins\n\nInstall the "
         "ICQ importer (libtarvex.so.1) into lib/tolvane/plugins beside this program, or start "
         "tolvane with --plugin PATH.\n\nThese could not be loaded:\n" +
             d +
             "/libnothing.so.1: cannot load the plug-in (cannot open shared object file: No such "
             "file or directory)"},
    };
    for (const auto& [windowsRoot, plugin, state, message] : cases) {
        auto window = open(windowsRoot, {plugin});
        choosePlugin(*window);
        EXPECT_EQ(window->panelState(), state);
        EXPECT_EQ(window->panelMessage().toStdString(), message);
        EXPECT_EQ(button(*window, "importButton")->isEnabled(), state == PanelState::IcqFolder);
        EXPECT_TRUE(page(*window) == nullptr || !page(*window)->isVisible());
        if (state == PanelState::IcqFolder) {
            ASSERT_TRUE(runImport(*window));
            EXPECT_EQ(window->statusText(), "Import complete: 1 contact on the list and 0 messages "
                                            "read from 111.dat. Save them to keep them.");
        }
    }
}

// A damaged Windows 98 registry: exports of it added in the window stand in for it, and the
// plug-in imports as from any other Windows.
TEST_F(WindowTest, RegistryExportsAddedStandInForAnUnreadableRegistry) {
    nlohmann::json older = sample(true);
    older["registry"] = "reg4";
    older["users"] = nlohmann::json::array();
    testsupport::buildSample(older, root());
    writeFile(root() + "/WINDOWS/SYSTEM.DAT", "CREG");
    auto window = open(root());
    choosePlugin(*window);
    EXPECT_EQ(window->panelState(), PanelState::IcqFolder);
    const QString exported = QString::fromStdString(root() + "/registry.reg");
    const auto addExport = [&] {
        ModalAnswer answer([&exported](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            dialog->selectFile(exported);
            static_cast<QDialog*>(dialog)->accept();
        });
        click(button(*window, "addRegExport"));
    };
    addExport();
    EXPECT_EQ(window->findChild<QLabel*>(QStringLiteral("registryExports"))->text(),
              QStringLiteral("registry.reg, read over SYSTEM.DAT and USER.DAT"));
    ASSERT_EQ(window->panelState(), PanelState::Page);
    QTest::keyClicks(page(*window)->findChild<QLineEdit*>(), QStringLiteral("secret"));
    ASSERT_TRUE(runImport(*window));
    EXPECT_EQ(window->statusText().section(QLatin1Char('\n'), 0, 0),
              "Import complete, but not everything chosen could be carried (see the warnings): "
              "Rover's account, the server settings, 1 contact on the list, 0 messages and 1 "
              "sound file. Save them to keep them.");
    click(button(*window, "clearRegExports"));
    EXPECT_EQ(window->panelState(), PanelState::IcqFolder);
    // Another disk is not read with this one's exports.
    addExport();
    window->setWindowsRoot(QString::fromStdString(dir.file("other")));
    EXPECT_EQ(window->findChild<QLabel*>(QStringLiteral("registryExports"))->text(),
              QStringLiteral("the hives on the disk"));
}

// ICQ installed on another partition (E:\ICQ): the panel names the drive that was not given,
// Add drive… offers its letter and takes its folder, then the owners and the import follow;
// another disk starts without that drive.
TEST_F(WindowTest, IcqOnAnotherPartitionIsFoundThroughItsDrive) {
    buildRover();
    const std::string drive = dir.file("E");
    fs::create_directories(drive);
    fs::rename(root() + "/Program Files/ICQ", drive + "/ICQ");
    const std::string moved = dir.file("moved.reg");
    writeFile(moved, "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\"
                     "CurrentVersion\\App Paths\\ICQ.exe]\r\n@=\"E:\\\\ICQ\\\\ICQ.exe\"\r\n");
    gui::CommandLine options;
    options.host.windowsRoot = root();
    options.host.regFiles = {moved};
    options.importer = TOLVANE_IMPORT_PATH;
    MainWindow window(options, {TARVEX_PLUGIN_PATH}, {});
    window.show();
    choosePlugin(window);
    EXPECT_EQ(window.panelState(), PanelState::NoOwners);
    EXPECT_EQ(window.panelMessage(),
              "ICQ is installed on this Windows installation, but its files are in E:\\ICQ\\uin, "
              "on drive E:, which was not given.\n\nAdd the folder where drive E: is mounted with "
              "Add drive\u2026 above.");
    ModalAnswer answer([&drive](QWidget* modal) {
        if (auto* letter = qobject_cast<QInputDialog*>(modal)) {
            EXPECT_EQ(letter->textValue(), "E:");
            letter->accept();
        } else if (auto* folder = qobject_cast<QFileDialog*>(modal)) {
            folder->selectFile(QString::fromStdString(drive));
            static_cast<QDialog*>(folder)->accept();
        }
    });
    click(button(window, "addDrive"));
    EXPECT_EQ(answer.answered(), 2);
    auto* drives = window.findChild<QLabel*>(QStringLiteral("drives"));
    EXPECT_EQ(drives->text().toStdString(), "E: " + drive);
    ASSERT_EQ(window.panelState(), PanelState::Page);
    QTest::keyClicks(page(window)->findChild<QLineEdit*>(), QStringLiteral("secret"));
    ASSERT_TRUE(runImport(window));
    EXPECT_TRUE(window.statusText().contains(QStringLiteral("Rover's account, the server settings, "
                                                            "1 contact on the list")))
        << window.statusText().toStdString();
    window.setWindowsRoot(QString::fromStdString(dir.file("other")));
    EXPECT_EQ(drives->text(), QStringLiteral("none besides C:"));
}

TEST_F(WindowTest, EmbedsThePageOfThePluginChosenForTheInstallationChosen) {
    buildRover();
    // The same library twice gives two plug-in objects, each with a page of its own.
    auto window = open(root(), {TARVEX_PLUGIN_PATH, TARVEX_PLUGIN_PATH});
    const QModelIndex item =
        window->findChild<QListView*>(QStringLiteral("pluginList"))->model()->index(0, 0);
    EXPECT_EQ(item.data(Qt::DisplayRole).toString(), QStringLiteral("ICQ\nICQ Importer Plugin"));
    EXPECT_EQ(window->panelState(), PanelState::ChoosePlugin);

    choosePlugin(*window, 0);
    QPointer<QDialog> first = page(*window);
    ASSERT_EQ(window->panelState(), PanelState::Page);
    EXPECT_FALSE(first->isWindow());
    EXPECT_EQ(first->parentWidget()->objectName(), QStringLiteral("pageHost"));
    // The whole page shows, however far its texts grew it.
    EXPECT_TRUE(first->parentWidget()->rect().contains(first->geometry()));
    EXPECT_EQ(first->findChild<QListWidget*>()->item(0)->text(), QStringLiteral("Rover"));
    EXPECT_TRUE(button(*window, "importButton")->isEnabled());
    EXPECT_FALSE(button(*window, "saveButton")->isEnabled());
    choosePlugin(*window, 1);
    EXPECT_TRUE(first->isHidden()); // hidden by hideDlg, not only by the panel
    EXPECT_EQ(window->findChildren<QDialog*>().size(), 2);
}

// The code page the old Windows used decodes the imported names, until the person chooses
// another. (The plug-in's page shows them as Windows-1252 whatever is chosen.)
TEST_F(WindowTest, NamesInTheCodePageTheOldWindowsUsed) {
    nlohmann::json description = sample(true);
    description["codepage"] = "CP1251";
    description["icq"]["owners"][0]["nickname"] = "\u0412\u0430\u043d\u044f";
    description["icq"]["owners"][0].erase("database");
    testsupport::buildSample(description, root());
    auto window = open(root());
    auto* codepage = window->findChild<QComboBox*>(QStringLiteral("codepageChoice"));
    EXPECT_EQ(window->findChild<QLabel*>(QStringLiteral("codepageHint"))->text(),
              "the old Windows used CP1251");
    for (const auto& [chosen, owner] :
         {std::pair<const char*, const char*>{"CP1251", "\u0412\u0430\u043d\u044f"},
          {"CP1252", "\u00c2\u00e0\u00ed\u00ff"}}) {
        codepage->setCurrentIndex(codepage->findData(QString::fromLatin1(chosen)));
        choosePlugin(*window);
        QTest::keyClicks(page(*window)->findChild<QLineEdit*>(), QStringLiteral("secret"));
        ASSERT_TRUE(runImport(*window));
        EXPECT_TRUE(window->summaryText().contains(
            QStringLiteral("\nOwner: %1 (UIN 111)\n").arg(QString::fromUtf8(owner))))
            << chosen << "\n"
            << window->summaryText().toStdString();
    }
}

// The demo installation, imported once through the window: Rover with his own sounds, the
// password typed into the window's own prompt.
class DemoImport : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           dir_->file("config").c_str());
        std::ifstream in(std::string(TOLVANE_SOURCE_DIR) + "/samples/demo.json");
        testsupport::buildSample(nlohmann::json::parse(in), root());
        std::getline(std::ifstream(std::string(TOLVANE_SOURCE_DIR) + "/samples/demo.password"),
                     password_);
        gui::CommandLine options;
        options.host.windowsRoot = root();
        options.importer = TOLVANE_IMPORT_PATH;
        window_ = new MainWindow(options, {TARVEX_PLUGIN_PATH}, {});
        window_->show();
        WindowTest::choosePlugin(*window_);
        auto* owners = window_->findChild<QListWidget*>(QStringLiteral("m_pWinUsersList"));
        owners->setCurrentItem(owners->findItems(QStringLiteral("Rover"), Qt::MatchExactly)[0]);
        for (auto* button : WindowTest::page(*window_)->findChildren<QRadioButton*>()) {
            if (button->text() == QStringLiteral("Customi&zed")) {
                WindowTest::click(button, QPoint(6, button->height() / 2));
            }
        }
        ModalAnswer prompt([](QWidget* modal) {
            QTest::keyClicks(modal->findChild<QLineEdit*>(), QString::fromStdString(password_));
            QTest::keyClick(modal->findChild<QLineEdit*>(), Qt::Key_Return);
        });
        // What the run does after the plug-in, as the status line tells it on the way.
        QObject::connect(window_->findChild<gui::ImportProcess*>(), &gui::ImportProcess::stage,
                         window_, [] { stages_ << window_->statusText(); });
        ASSERT_TRUE(runImport(*window_));
        ASSERT_EQ(prompt.titles(), QStringList{"Password"});
    }
    static void TearDownTestSuite() {
        delete window_;
        delete dir_;
    }
    static std::string root() { return dir_->file("C"); }
    static std::string staged(const std::string& name) {
        return window_->stagingFolder().toStdString() + "/" + name;
    }
    template <class T> static T* find(const char* name) {
        return window_->findChild<T*>(QString::fromLatin1(name));
    }

    static TempDir* dir_;
    static std::string password_;
    static MainWindow* window_;
    static QStringList stages_;
};

TempDir* DemoImport::dir_ = nullptr;
std::string DemoImport::password_;
MainWindow* DemoImport::window_ = nullptr;
QStringList DemoImport::stages_;

TEST_F(DemoImport, SummarySpeaksOfPeopleAndFiles) {
    // The zone the old Windows was set to was taken for the import.
    EXPECT_EQ(WindowTest::zoneChoice(*window_)->currentText(), "Europe/Berlin");
    EXPECT_TRUE(
        find<QLabel>("timeZoneHint")
            ->text()
            .startsWith("the old Windows was set to W. Europe Standard Time (Europe/Berlin)"));
    EXPECT_EQ(window_->lastOutcome().end, gui::RunEnd::Complete);
    EXPECT_EQ(stages_,
              QStringList({"Reading 23456789.dat\u2026", "Writing the ICQ archive\u2026"}));
    EXPECT_EQ(window_->statusText(),
              "Import complete: Rover's account, the server settings, 20 contacts on the list, 1 "
              "awaiting authorisation, 786 messages and 6 sound files. Save them to keep them.");
    EXPECT_EQ(window_->summaryText(),
              "Import: complete\n"
              "Owner: Rover (UIN 23456789)\n"
              "Server: login.icq.com, port 5190\n"
              "Contacts: 37 contact records, added to the current contact list\n"
              "Sounds: 6 events, 6 files carried; sounds on\n"
              "Left out: nothing\n"
              "Archive: 20 on the list, 1 awaiting authorisation, 16 removed, 1 ignored, 5 known "
              "only from messages\n"
              "Messages: 786 in 20 conversations; 18 in ICQ's Deleted folder left out (see "
              "History above)\n"
              "Times: shown in Europe/Berlin\n"
              "Warnings: none\n"
              "Files: " +
                  window_->stagingFolder() + "\n");
}

TEST_F(DemoImport, ContactsCountAsTheCommandLineDoesAndHideRemovedOnes) {
    const auto cli =
        testsupport::runProcess({TOLVANE_IMPORT_PATH, "--windows-root", root(), "--owner", "Rover",
                                 "--password-stdin", "--out", dir_->file("cli")},
                                password_ + "\n");
    ASSERT_EQ(cli.status, 0) << cli.err;
    const std::string marker = "\nContacts:  ";
    const size_t at = cli.out.find(marker) + marker.size();
    const std::string counts = cli.out.substr(at, cli.out.find(" (", at) - at);

    auto* count = find<QLabel>("contactCount");
    auto* table = find<QTableView>("contactTable");
    EXPECT_EQ(count->text().toStdString(), counts + " \u2013 21 shown");
    EXPECT_EQ(table->model()->rowCount(), 21);
    find<QCheckBox>("showRemoved")->click();
    EXPECT_EQ(table->model()->rowCount(), 43);
    find<QCheckBox>("showRemoved")->click();

    // What a contact told about itself is shown, and found by the filter.
    find<QLineEdit>("contactFilter")->setText(QStringLiteral("Fotograf"));
    ASSERT_EQ(table->model()->rowCount(), 1);
    EXPECT_EQ(table->model()->index(0, gui::ContactsPage::kDetails).data().toString(),
              "male; born 1976-05-14; About: Fotograf, Radfahrer, FC-Fan.; Home city: Köln; "
              "Home phone: +49 221 555 0142");
    find<QLineEdit>("contactFilter")->clear();

    // By messages, the contact talked with most comes first; activated (a double-click), it
    // opens the conversation, even one a search had hidden.
    int most = 0;
    for (int i = 0; i < find<QListWidget>("conversationList")->count(); ++i) {
        const QString item = find<QListWidget>("conversationList")->item(i)->text();
        most = std::max(most, item.section(QLatin1Char('('), -1).chopped(1).toInt());
    }
    table->sortByColumn(gui::ContactsPage::kMessages, Qt::DescendingOrder);
    const QModelIndex top = table->model()->index(0, gui::ContactsPage::kName);
    EXPECT_EQ(top.siblingAtColumn(gui::ContactsPage::kMessages).data().toInt(), most);
    find<QLineEdit>("messageSearch")->setText(QStringLiteral("no message holds this"));
    auto* tabs = find<QTabWidget>("resultPages");
    tabs->setCurrentWidget(find<QWidget>("contactsPage"));
    emit table->activated(top);
    EXPECT_EQ(tabs->currentWidget(), find<QWidget>("messagesPage"));
    EXPECT_EQ(find<QLabel>("conversationHeading")->text(),
              QStringLiteral("%1 messages with %2 (UIN %3)")
                  .arg(most)
                  .arg(top.data().toString())
                  .arg(top.siblingAtColumn(gui::ContactsPage::kUin).data().toUInt()));
    EXPECT_EQ(find<QLineEdit>("messageSearch")->text(), QString());
    tabs->setCurrentWidget(find<QWidget>("summaryPage"));
}

TEST_F(DemoImport, MessagesOneConversationAtATimeAndSearched) {
    auto* conversations = find<QListWidget>("conversationList");
    const QAbstractItemModel* messages = find<QTreeView>("messageList")->model();
    const auto at = [&](int row, int column, int role = Qt::DisplayRole) {
        return messages->index(row, column).data(role).toString();
    };
    EXPECT_EQ(conversations->count(), 20);
    const auto inConversations = [&] {
        int total = 0;
        for (int i = 0; i < conversations->count(); ++i) {
            const QString text = conversations->item(i)->text();
            total += text.section('(', -1).chopped(1).toInt();
        }
        return total;
    };
    EXPECT_EQ(inConversations(), 786);
    // Named contacts first; those known only by their UIN after them.
    EXPECT_FALSE(conversations->item(0)->text().front().isDigit());
    EXPECT_TRUE(conversations->item(conversations->count() - 1)->text().front().isDigit());

    // A system event reads as what it is, before the text it carries.
    conversations->setCurrentItem(
        conversations->findItems(QStringLiteral("Ødegård ("), Qt::MatchStartsWith)[0]);
    QStringList kinds;
    QStringList froms;
    using gui::MessageModel;
    for (int i = 0; i < messages->rowCount(); ++i) {
        kinds << at(i, MessageModel::kText).section(':', 0, 0);
        froms << at(i, MessageModel::kFrom);
        // Shown in the zone chosen for the import, its offset in the tool tip.
        const QString time = at(i, MessageModel::kTime, Qt::ToolTipRole);
        EXPECT_TRUE(time.endsWith("+01:00") || time.endsWith("+02:00")) << time.toStdString();
        EXPECT_EQ(at(i, MessageModel::kTime), time.left(19).replace('T', ' '));
    }
    EXPECT_TRUE(kinds.contains(QStringLiteral("You were added"))) << kinds.join('|').toStdString();
    EXPECT_TRUE(kinds.contains(QStringLiteral("Authorisation request")));
    // Each by whoever wrote it: the owner, or the contact.
    froms.removeDuplicates();
    froms.sort();
    EXPECT_EQ(froms, QStringList({"Rover", "Ødegård"}));
    // The list shows a message on one line; the one chosen is read whole below it, a line for
    // each of its lines.
    conversations->setCurrentItem(
        conversations->findItems(QStringLiteral("crazy» ("), Qt::MatchStartsWith)[0]);
    int longest = 0;
    for (int i = 0; i < messages->rowCount(); ++i) {
        if (at(i, MessageModel::kText, MessageModel::kWholeRole).count('\n') >
            at(longest, MessageModel::kText, MessageModel::kWholeRole).count('\n')) {
            longest = i;
        }
    }
    const QString whole = at(longest, MessageModel::kText, MessageModel::kWholeRole);
    ASSERT_GT(whole.count('\n'), 2);
    EXPECT_FALSE(at(longest, MessageModel::kText).contains('\n'));
    find<QTreeView>("messageList")->setCurrentIndex(messages->index(longest, 0));
    EXPECT_EQ(find<QPlainTextEdit>("messageText")->toPlainText(), whole);
    EXPECT_TRUE(whole.startsWith(at(longest, MessageModel::kTime) + " " +
                                 at(longest, MessageModel::kTime, Qt::ToolTipRole).mid(19) + ", " +
                                 at(longest, MessageModel::kFrom) + ":\n\n"));

    // A search waits for a pause in the typing, or Enter.
    auto* search = find<QLineEdit>("messageSearch");
    QTest::keyClicks(search, QStringLiteral("CINEMA"));
    EXPECT_EQ(inConversations(), 786);
    QTest::keyClick(search, Qt::Key_Return);
    EXPECT_GT(inConversations(), 0);
    EXPECT_LT(inConversations(), 786);
    ASSERT_GT(messages->rowCount(), 0);
    EXPECT_TRUE(at(0, MessageModel::kText, MessageModel::kWholeRole)
                    .contains("cinema", Qt::CaseInsensitive));
    // Each place the message holds it is marked where it is read.
    auto* reading = find<QPlainTextEdit>("messageText");
    const auto marks = reading->extraSelections();
    EXPECT_FALSE(marks.isEmpty());
    EXPECT_EQ(marks.size(), reading->toPlainText().count("cinema", Qt::CaseInsensitive));
    for (const auto& mark : marks) {
        EXPECT_EQ(mark.cursor.selectedText().toLower(), "cinema");
    }
    find<QLineEdit>("messageSearch")->clear();
    EXPECT_TRUE(reading->extraSelections().isEmpty());

    // Ctrl+F searches the contacts on the Contacts page, the messages from any other.
    auto* tabs = find<QTabWidget>("resultPages");
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_));
    for (const auto& [from, to, field] :
         {std::tuple{"summaryPage", "messagesPage", "messageSearch"},
          std::tuple{"contactsPage", "contactsPage", "contactFilter"}}) {
        tabs->setCurrentWidget(find<QWidget>(from));
        QTest::keySequence(window_, QKeySequence::Find);
        EXPECT_EQ(tabs->currentWidget(), find<QWidget>(to));
        EXPECT_EQ(QApplication::focusWidget(), find<QLineEdit>(field)) << field;
    }

    // Messages chosen in the list are copied whole, in the order of the list.
    tabs->setCurrentWidget(find<QWidget>("messagesPage"));
    auto* list = find<QTreeView>("messageList");
    list->setFocus();
    list->selectionModel()->select(messages->index(1, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    list->selectionModel()->select(messages->index(0, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTest::keySequence(list, QKeySequence::Copy);
    EXPECT_EQ(QApplication::clipboard()->text(),
              at(0, MessageModel::kText, MessageModel::kWholeRole) + "\n\n" +
                  at(1, MessageModel::kText, MessageModel::kWholeRole));

    // The conversation's page of the exported history opens in the browser.
    auto* open = find<QPushButton>("openPageButton");
    const testsupport::OpenedUrls opened;
    for (const auto& [contact, page] : {std::pair{"Ødegård (", "9456123-Ødegård.html"},
                                        std::pair{"24408013 (", "24408013.html"}}) {
        conversations->setCurrentItem(
            conversations->findItems(QString::fromUtf8(contact), Qt::MatchStartsWith)[0]);
        ASSERT_TRUE(open->isEnabled());
        open->click();
        ASSERT_FALSE(opened.urls().isEmpty());
        EXPECT_EQ(opened.urls().back().toLocalFile().toStdString(),
                  staged("history/" + std::string(page)));
    }
    const QString history = QString::fromStdString(staged("history"));
    ASSERT_TRUE(QDir().rename(history, history + ".away"));
    open->click();
    EXPECT_EQ(window_->statusText(), "The history's pages are no longer there");
    conversations->setCurrentRow(0);
    EXPECT_FALSE(open->isEnabled());
    ASSERT_TRUE(QDir().rename(history + ".away", history));
    tabs->setCurrentWidget(find<QWidget>("summaryPage"));
}

TEST_F(DemoImport, SoundsWithTheirFilesAndRecordSections) {
    auto* sounds = find<QTreeWidget>("soundList");
    ASSERT_EQ(sounds->topLevelItemCount(), 6);
    QTreeWidgetItem* message = sounds->findItems("Message received", Qt::MatchExactly)[0];
    EXPECT_EQ(message->text(gui::SoundsPage::kFile).toStdString(),
              root() + "/Program Files/ICQ/Sounds/New Message.wav");

    auto* record = find<QTreeWidget>("recordTree");
    QTreeWidgetItem* contacts = record->findItems("CONTACTS", Qt::MatchExactly)[0];
    EXPECT_EQ(contacts->text(gui::RecordTree::kValue), "37 sections, 1 value");
}

// Each export writes the files the command line wrote into the staging folder.
TEST_F(DemoImport, ExportsWriteTheFilesTheCommandLineWrote) {
    const struct {
        gui::ExportKind kind;
        const char* target;
        const char* staged; // null: the pages of history/, `suffix` files
        const char* suffix;
        int files;
    } cases[] = {{gui::ExportKind::ContactsVcard, "a/my.vcf", "contacts.vcf", nullptr, 1},
                 {gui::ExportKind::ContactsCsv, "b.csv", "contacts.csv", nullptr, 1},
                 {gui::ExportKind::HistoryHtml, "html", nullptr, ".html", 21},
                 {gui::ExportKind::HistoryText, "text", nullptr, ".txt", 20}};
    for (const auto& c : cases) {
        const std::string target = dir_->file(std::string("exports/") + c.target);
        ASSERT_TRUE(window_->exportTo(c.kind, QString::fromStdString(target)));
        EXPECT_EQ(window_->statusText().toStdString(), "Exported " + std::to_string(c.files) +
                                                           (c.files == 1 ? " file" : " files") +
                                                           " to " + target + ".");
        if (c.staged != nullptr) {
            EXPECT_EQ(readFile(target), readFile(staged(c.staged)));
            continue;
        }
        int files = 0;
        for (const auto& entry : fs::directory_iterator(target)) {
            EXPECT_EQ(entry.path().extension(), c.suffix);
            EXPECT_EQ(readFile(entry.path()),
                      readFile(staged("history/" + entry.path().filename().string())));
            ++files;
        }
        EXPECT_EQ(files, c.files) << c.target;
    }
}

// History pages go over those of an earlier export, never over a file of somebody else's.
TEST_F(DemoImport, HistoryExportWritesOverNobodyElsesFiles) {
    const std::string target = dir_->file("documents");
    ASSERT_TRUE(window_->exportTo(gui::ExportKind::HistoryHtml, QString::fromStdString(target)));
    ASSERT_TRUE(window_->exportTo(gui::ExportKind::HistoryHtml, QString::fromStdString(target)));
    writeFile(target + "/index.html", "<html>my own page</html>");
    EXPECT_FALSE(window_->exportTo(gui::ExportKind::HistoryHtml, QString::fromStdString(target)));
    EXPECT_EQ(window_->statusText().toStdString(),
              "Nothing was exported: " + target +
                  ": holds index.html, which no history export wrote; move it away or choose "
                  "another folder.");
    EXPECT_EQ(readFile(target + "/index.html"), "<html>my own page</html>");

    // A page that cannot be written leaves every page of the earlier export as it was, and no
    // temporary file.
    writeFile(target + "/index.html", "<!-- ICQ history, an earlier export -->");
    const auto pages = [&target] {
        std::map<std::string, std::string> found;
        for (const auto& entry : fs::directory_iterator(target)) {
            found[entry.path().filename().string()] = readFile(entry.path());
        }
        return found;
    };
    const auto earlier = pages();
    struct rlimit limit;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const struct rlimit small = {1024, limit.rlim_max};
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool exported =
        window_->exportTo(gui::ExportKind::HistoryHtml, QString::fromStdString(target));
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(exported);
    EXPECT_NE(window_->statusText().indexOf(QStringLiteral("cannot write (File too large)")), -1)
        << window_->statusText().toStdString();
    EXPECT_TRUE(pages() == earlier);
}

TEST_F(DemoImport, SaveCopiesRecordFilesAndArchive) {
    const std::string target = dir_->file("saved");
    ASSERT_TRUE(window_->saveTo(QString::fromStdString(target)));
    EXPECT_EQ(window_->statusText().toStdString(),
              "Saved record.json, 6 carried files and the ICQ archive in " + target + ".");
    EXPECT_EQ(filesBelow(target), filesBelow(window_->stagingFolder().toStdString()));
    EXPECT_TRUE(
        window_->summaryText().endsWith("Files: " + QString::fromStdString(target) + " (saved)\n"));
    // record.json holds the password.
    EXPECT_EQ(fs::status(target + "/record.json").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
    // What a save wrote is its own, to be saved over; but not a note somebody put into its
    // history/, which goes as a whole.
    EXPECT_TRUE(window_->saveTo(QString::fromStdString(target)))
        << window_->statusText().toStdString();
    writeFile(target + "/history/note.odt", "mine");
    ModalAnswer answer([](QWidget* modal) { testsupport::clickButton(modal, "OK"); });
    EXPECT_FALSE(window_->saveTo(QString::fromStdString(target)));
    EXPECT_EQ(window_->statusText().toStdString(),
              "The record was not saved: " + target +
                  "/history: holds note.odt, which no export wrote; move it away or choose "
                  "another folder. record.json in " +
                  target + " was left as it was.");
    EXPECT_EQ(readFile(target + "/history/note.odt"), "mine");
}

// The record of another owner is replaced only when the person says so, and then as a whole.
TEST_F(DemoImport, SaveAsksBeforeReplacingAnotherOwnersRecord) {
    const std::string target = dir_->file("another");
    ASSERT_TRUE(window_->saveTo(QString::fromStdString(target)));
    const std::string identity = target + "/.tolvane-bundle.json";
    std::string text = readFile(identity);
    text.replace(text.find("23456789"), 8, "31415926");
    writeFile(identity, text);
    writeFile(target + "/history/31415926-marta.html", "<p>ICQ history of M\xC3\xA4rta</p>");
    const std::string record = readFile(target + "/record.json");
    const std::string marta = target + "/history/31415926-marta.html";
    for (const char* button : {"Cancel", "Replace"}) {
        ModalAnswer answer([button, target](QWidget* modal) {
            EXPECT_EQ(modal->objectName(), "replaceRecord");
            // Asked in the middle of the save, which goes on beside a window that is drawn
            // busy and takes no other work meanwhile.
            EXPECT_EQ(window_->statusText().toStdString(), "Saving into " + target + "\u2026");
            EXPECT_FALSE(window_->centralWidget()->isEnabled());
            EXPECT_FALSE(window_->saveTo(QString::fromStdString(target)));
            testsupport::clickButton(modal, QString::fromLatin1(button));
        });
        EXPECT_EQ(window_->saveTo(QString::fromStdString(target)),
                  std::string(button) == "Replace");
        EXPECT_EQ(answer.answered(), 1);
        if (std::string(button) == "Cancel") {
            EXPECT_EQ(window_->statusText().toStdString(),
                      "Not saved: " + target +
                          " holds the record of another owner (UIN 31415926), which was kept.");
            EXPECT_TRUE(fs::exists(marta));
        }
    }
    EXPECT_FALSE(fs::exists(marta));
    EXPECT_NE(readFile(identity).find("23456789"), std::string::npos);
    EXPECT_EQ(readFile(target + "/record.json"), record);
}

// Months later, the disk gone: the saved import shows again from its folder, which stays as it
// was; Save copies it elsewhere, never over itself.
TEST_F(DemoImport, SavedImportOpensAgainWithoutItsDisk) {
    const std::string saved = dir_->file("kept");
    ASSERT_TRUE(window_->saveTo(QString::fromStdString(saved)));
    const auto before = filesBelow(saved);
    gui::CommandLine options;
    options.host.windowsRoot = dir_->file("gone");
    options.openFolder = saved;
    MainWindow later(options, {TARVEX_PLUGIN_PATH}, {});
    EXPECT_EQ(later.statusText().toStdString(),
              "Opened the import saved in " + saved +
                  ": Rover's account, the server settings, 20 contacts on the list, 1 awaiting "
                  "authorisation, 786 messages and 6 sound files.");
    const std::string summary = later.summaryText().toStdString();
    EXPECT_EQ(summary.substr(0, summary.find("\nServer:")),
              "Import: saved earlier from " + root() + "\nOwner: Rover (UIN 23456789)");
    EXPECT_NE(summary.find("\nMessages: 786 in 20 conversations; 18 in "), std::string::npos)
        << summary;
    EXPECT_TRUE(summary.size() > saved.size() &&
                summary.substr(summary.size() - saved.size() - 8) == "Files: " + saved + "\n")
        << summary;
    EXPECT_EQ(later.findChild<QListWidget*>(QStringLiteral("conversationList"))->count(), 20);

    EXPECT_FALSE(later.saveTo(QString::fromStdString(saved + "/.")));
    EXPECT_EQ(later.statusText().toStdString(),
              "Not saved: " + saved +
                  "/. is the folder it was opened from, where it is saved "
                  "already.");
    const std::string copy = dir_->file("copy");
    ASSERT_TRUE(later.saveTo(QString::fromStdString(copy))) << later.statusText().toStdString();
    ASSERT_TRUE(later.exportTo(gui::ExportKind::ContactsCsv,
                               QString::fromStdString(dir_->file("mine.csv"))));
    EXPECT_EQ(readFile(dir_->file("mine.csv")), before.at("contacts.csv"));
    EXPECT_EQ(filesBelow(copy), before);
    EXPECT_EQ(filesBelow(saved), before);

    // An archive written before messages of ICQ's Deleted folder could be exported lacks their
    // column; its messages show all the same.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((copy + "/icq-archive.sqlite").c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "DROP VIEW history; ALTER TABLE messages DROP COLUMN deleted_folder",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    ASSERT_TRUE(later.openSaved(QString::fromStdString(copy)));
    EXPECT_GT(later.findChild<QTreeView*>(QStringLiteral("messageList"))->model()->rowCount(), 0);
}

// An archive that tolvane-icq export wrote opens as the window's own reading of the folder shows
// it: from the button, from a drop, or chosen for the root; a folder with nothing saved in it
// opens nothing and says what was looked for.
TEST_F(WindowTest, SavedArchiveOpensFromTheButtonADropOrTheRoot) {
    buildRover();
    const std::string database = root() + "/Program Files/ICQ/2000a/111.dat";
    const std::string archive = dir.file("archive");
    // An index cut short: the report's warning comes along.
    fs::resize_file(root() + "/Program Files/ICQ/2000a/111.idx", 100);
    ASSERT_EQ(
        testsupport::runProcess({TOLVANE_ICQ_PATH, "export", "-q", "--out", archive, database})
            .status,
        0);
    const std::string report = readFile(archive + "/report.txt");
    const size_t warning = report.find("Warnings (1)\n  ");
    ASSERT_NE(warning, std::string::npos) << report;
    const std::string reported = report.substr(warning + 15, report.size() - warning - 16);
    const std::string opened = "Opened the ICQ archive of 111.dat saved in " + archive +
                               ": 1 contact on the list and 0 messages.\nWarning: " + reported;
    const std::string empty = dir.file("empty");
    fs::create_directories(empty);
    auto window = open(root());
    for (const std::string& chosen : {empty, archive}) {
        ModalAnswer answer([&chosen](QWidget* modal) {
            if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
                dialog->selectFile(QString::fromStdString(chosen));
                static_cast<QDialog*>(dialog)->accept();
            } else {
                testsupport::clickButton(modal, "OK");
            }
        });
        click(button(*window, "openButton"));
        EXPECT_EQ(window->statusText().toStdString(),
                  chosen == empty ? "Nothing opened: " + empty +
                                        " holds no saved import (expected record.json, or the "
                                        "report.txt and icq-archive.sqlite of an ICQ archive)."
                                  : opened);
    }
    EXPECT_NE(window->summaryText().toStdString().find("\nRead from: " + database + "\n"),
              std::string::npos)
        << window->summaryText().toStdString();

    auto dropped = open(root());
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(archive))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(dropped.get(), &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(dropped.get(), &drop);
    EXPECT_EQ(dropped->statusText().toStdString(), opened);
    // The root stays the disk's.
    EXPECT_EQ(dropped->findChild<QLineEdit*>(QStringLiteral("windowsRoot"))->text().toStdString(),
              root());

    auto rooted = open(archive);
    choosePlugin(*rooted);
    EXPECT_EQ(rooted->panelMessage(),
              "This folder holds an import saved earlier, not a Windows installation: it is "
              "shown on the right.\n\nTo import again, choose the Windows installation with "
              "Browse\u2026 above.");
    EXPECT_EQ(rooted->statusText().toStdString(), opened);

    // A damaged archive database opens with its warning, and what the report says.
    writeFile(archive + "/icq-archive.sqlite", std::string(4096, 'x'));
    ASSERT_TRUE(rooted->openSaved(QString::fromStdString(archive)));
    EXPECT_EQ(rooted->statusText().toStdString(),
              "Opened the ICQ archive of 111.dat saved in " + archive +
                  ": nothing in it can be shown.\nWarning: " + reported + "\nWarning: " + archive +
                  "/icq-archive.sqlite: cannot read the archive (file is not a database)");
}

// Both tools get the archive's choices of the window: zone, and ICQ's Deleted folder.
TEST(RunArguments, CarryTheArchiveChoices) {
    gui::RunRequest run;
    gui::FolderRunRequest folder;
    for (const bool deleted : {false, true}) {
        run.timeZone = folder.timeZone = QStringLiteral("Europe/Oslo");
        run.deletedFolder = folder.deletedFolder = deleted;
        for (const QStringList& args : {gui::runArguments(run), gui::folderRunArguments(folder)}) {
            EXPECT_EQ(args.contains(QStringLiteral("--deleted-folder")), deleted);
            EXPECT_EQ(args.at(args.indexOf(QStringLiteral("--time-zone")) + 1), "Europe/Oslo");
        }
    }
}

// People who kept only their ICQ folder: the window lists its owners' databases and reads the
// chosen one with tolvane-icq, without a plug-in, into pages and a bundle without a record.
TEST_F(WindowTest, IcqFolderIsReadWithoutWindows) {
    std::ifstream in(std::string(TOLVANE_SOURCE_DIR) + "/samples/demo.json");
    testsupport::buildSample(nlohmann::json::parse(in), root());
    const std::string folder = root() + "/Program Files/ICQ";
    // Each owner is listed by name, with the version of ICQ and the day it last wrote.
    const timeval noon[2] = {{1079092800, 0}, {1079092800, 0}};
    ASSERT_EQ(utimes((folder + "/2000a/31415926.dat").c_str(), noon), 0);
    auto window = open(folder, {});
    ASSERT_EQ(window->panelState(), PanelState::IcqFolder);
    EXPECT_EQ(window->panelMessage().toStdString(),
              "This is an ICQ folder, not a Windows installation: " + folder +
                  " holds the ICQ databases of 2 owners, listed below.\n\nImport reads the "
                  "chosen owner's contacts and message history. The server settings, the account "
                  "and the sounds are kept in the Windows registry; for them, choose the mounted "
                  "Windows system drive with Browse\u2026 above.");
    auto* databases = window->findChild<QListWidget*>(QStringLiteral("icqDatabases"));
    ASSERT_EQ(databases->count(), 2);
    EXPECT_EQ(databases->item(0)->text().section(QLatin1Char('\n'), 0, 0),
              "Rover (Robert \u00d6verby), UIN 23456789");
    EXPECT_EQ(databases->item(1)->text(), "M\u00e4rta (M\u00e4rta H\u00e5kansson), UIN 31415926\n"
                                          "ICQ 2000a, last written 2004-03-12\n2000a/31415926.dat");
    EXPECT_TRUE(button(*window, "importButton")->isEnabled());
    databases->setCurrentRow(1);
    zoneChoice(*window)->setCurrentText(QStringLiteral("Europe/Stockholm"));
    ASSERT_TRUE(runImport(*window));
    EXPECT_EQ(window->lastOutcome().end, gui::RunEnd::Complete);
    EXPECT_EQ(window->statusText(),
              "Import complete: 16 contacts on the list, 1 awaiting authorisation and 876 "
              "messages read from 31415926.dat. Save them to keep them.");
    const std::string summary = window->summaryText().toStdString();
    EXPECT_NE(summary.find("\nRead from: " + folder +
                           "/2000a/31415926.dat\nOwner: M\u00e4rta (UIN 31415926)\nLeft out: "),
              std::string::npos)
        << summary;
    EXPECT_NE(summary.find("\nTimes: shown in Europe/Stockholm\n"), std::string::npos) << summary;
    auto* tabs = window->findChild<QTabWidget*>(QStringLiteral("resultPages"));
    for (const auto& [name, visible] : {std::pair{"contactsPage", true},
                                        {"messagesPage", true},
                                        {"soundsPage", false},
                                        {"recordTree", false}}) {
        EXPECT_EQ(tabs->isTabVisible(tabs->indexOf(window->findChild<QWidget*>(name))), visible)
            << name;
    }
    // Saved as an export of the folder, which a save of another owner's asks before replacing.
    const std::string target = dir.file("saved");
    ASSERT_TRUE(window->saveTo(QString::fromStdString(target)));
    EXPECT_EQ(window->statusText().toStdString(), "Saved the ICQ archive in " + target + ".");
    EXPECT_FALSE(fs::exists(target + "/record.json"));
    EXPECT_EQ(readFile(target + "/contacts.vcf"),
              readFile(window->stagingFolder().toStdString() + "/contacts.vcf"));
    {
        const std::string taken = dir.file("taken");
        writeFile(taken + "/contacts.vcf", "mine");
        ModalAnswer ok([](QWidget* modal) { testsupport::clickButton(modal, "OK"); });
        EXPECT_FALSE(window->saveTo(QString::fromStdString(taken)));
        EXPECT_EQ(window->statusText().toStdString(),
                  "The ICQ archive was not saved: " + taken +
                      ": holds contacts.vcf, which no earlier import wrote; move it away or "
                      "choose another folder. What " +
                      taken + " held was left as it was.");
        EXPECT_EQ(readFile(taken + "/contacts.vcf"), "mine");
    }
    // Asked for, the messages of ICQ's Deleted folder come too, each saying where it was.
    window->findChild<QCheckBox*>(QStringLiteral("deletedFolderChoice"))->setChecked(true);
    databases->setCurrentRow(0);
    ASSERT_TRUE(runImport(*window));
    EXPECT_EQ(window->statusText(),
              "Import complete: 20 contacts on the list, 1 awaiting authorisation and 804 "
              "messages read from 23456789.dat. Save them to keep them.");
    auto* conversations = window->findChild<QListWidget*>(QStringLiteral("conversationList"));
    const QAbstractItemModel* messages =
        window->findChild<QTreeView*>(QStringLiteral("messageList"))->model();
    int marked = 0;
    for (int c = 0; c < conversations->count(); ++c) {
        conversations->setCurrentRow(c);
        for (int row = 0; row < messages->rowCount(); ++row) {
            marked += messages->index(row, gui::MessageModel::kText)
                          .data()
                          .toString()
                          .startsWith(QStringLiteral("In the Deleted folder: "));
        }
    }
    EXPECT_GT(marked, 0);
    ModalAnswer answer([](QWidget* modal) { testsupport::clickButton(modal, "Cancel"); });
    EXPECT_FALSE(window->saveTo(QString::fromStdString(target)));
    EXPECT_EQ(window->statusText().toStdString(),
              "Not saved: " + target +
                  " holds the record of another owner (UIN 31415926), which was kept.");

    // A database that is none says so, and nothing is offered for saving.
    writeFile(folder + "/2000a/31415926.dat", std::string(4096, 'x'));
    window->setWindowsRoot(QString::fromStdString(folder + "/2000a"));
    window->findChild<QListWidget*>(QStringLiteral("icqDatabases"))->setCurrentRow(1);
    ASSERT_TRUE(runImport(*window));
    EXPECT_EQ(window->statusText().toStdString(),
              "Import failed: " + folder +
                  "/2000a/31415926.dat: not an ICQ database (expected the header 04 00 00 00 08 "
                  "00 00 00, found 78 78 78 78 78 78 78 78).");
    EXPECT_FALSE(button(*window, "saveButton")->isEnabled());
}

// Dated copies of an ICQ folder kept side by side: each owner is listed once, with the days
// the copies span, and all of them are read together, what they share counted once.
TEST_F(WindowTest, DatedCopiesOfAnIcqFolderAreReadTogether) {
    std::ifstream in(std::string(TOLVANE_SOURCE_DIR) + "/samples/demo.json");
    testsupport::buildSample(nlohmann::json::parse(in), root());
    const std::string backups = dir.file("backups");
    for (const auto& [day, seconds] :
         {std::pair{"2004-06-01", 1086091200}, {"2003-01-05", 1041768000}}) {
        const std::string copy = backups + "/" + day + "/ICQ";
        fs::create_directories(copy);
        fs::copy(root() + "/Program Files/ICQ", copy, fs::copy_options::recursive);
        const timeval noon[2] = {{seconds, 0}, {seconds, 0}};
        ASSERT_EQ(utimes((copy + "/2000a/31415926.dat").c_str(), noon), 0);
    }
    // A copy that is none would stop the others being read: it is left out and named.
    writeFile(backups + "/2005-02-02/31415926.dat", "damaged");
    // Windows' own folder is not searched.
    writeFile(backups + "/2006/WINDOWS/31415926.dat", "");
    auto window = open(backups, {});
    ASSERT_EQ(window->panelState(), PanelState::IcqFolder);
    EXPECT_NE(window->panelMessage().indexOf(" holds the ICQ databases of 2 owners, listed below."),
              -1);
    auto* databases = window->findChild<QListWidget*>(QStringLiteral("icqDatabases"));
    ASSERT_EQ(databases->count(), 2);
    EXPECT_EQ(databases->item(1)->text(),
              "M\u00e4rta (M\u00e4rta H\u00e5kansson), UIN 31415926\nICQ 2000a, 2 copies from "
              "2003-01-05 to 2004-06-01, read together; left out: " +
                  QString::fromStdString(backups) +
                  "/2005-02-02/31415926.dat: not an ICQ database (the file has 7 bytes, fewer "
                  "than its 8-byte header)\n2003-01-05/ICQ/2000a/31415926.dat, "
                  "2004-06-01/ICQ/2000a/31415926.dat");
    databases->setCurrentRow(1);
    ASSERT_TRUE(runImport(*window));
    EXPECT_EQ(window->statusText(),
              "Import complete: 16 contacts on the list, 1 awaiting authorisation and 876 "
              "messages read from 2 copies of 31415926.dat. Save them to keep them.");
    const std::string summary = window->summaryText().toStdString();
    EXPECT_NE(summary.find("\nRead from: " + backups + "/2003-01-05/ICQ/2000a/31415926.dat\n" +
                           backups +
                           "/2004-06-01/ICQ/2000a/31415926.dat\nCopies: 2 read "
                           "together; 876 messages found in more than one kept once\n"),
              std::string::npos)
        << summary;
}

// Without a password the account cannot be imported; the chosen owner's contacts and history
// can, read from the database alone.
TEST_F(WindowTest, WithoutPasswordContactsAndHistoryAreReadAlone) {
    auto window = openRover(nullptr);
    {
        ModalAnswer answers([](QWidget* modal) {
            testsupport::clickButton(modal, modal->objectName() == "withoutPassword"
                                                ? QStringLiteral("Read contacts and history")
                                                : QStringLiteral("Cancel"));
        });
        ASSERT_TRUE(runImport(*window));
        EXPECT_EQ(answers.titles(), (QStringList{"Password", "Password"}));
    }
    EXPECT_EQ(window->panelState(), PanelState::IcqFolder);
    EXPECT_TRUE(window->panelMessage().startsWith(
        "No password was given, so the owner's account is not imported.\n\nIts ICQ databases "
        "can still be read on their own: "));
    EXPECT_EQ(window->statusText(), "Import complete: 1 contact on the list and 0 messages read "
                                    "from 111.dat. Save them to keep them.");
    // The plug-in's page is one click away, for a password remembered after all.
    choosePlugin(*window);
    EXPECT_EQ(window->panelState(), PanelState::Page);
    EXPECT_TRUE(page(*window)->isVisible());
}

// Cancel sends the child SIGINT; the window says so and can import again.
TEST_F(WindowTest, CancelledRunAndStillUsable) {
    auto window = openRover("secret");
    QSignalSpy finished(window.get(), &MainWindow::importFinished);
    click(button(*window, "importButton"));
    ASSERT_TRUE(window->running());
    click(button(*window, "cancelButton"));
    EXPECT_FALSE(button(*window, "cancelButton")->isEnabled());
    ASSERT_TRUE(finished.wait(kRunTimeout));
    EXPECT_EQ(window->lastOutcome().end, gui::RunEnd::Cancelled);
    // The record holds what was written before Cancel, or there is none when the run was
    // stopped before it began.
    EXPECT_TRUE(window->statusText().startsWith("Import cancelled; "))
        << window->statusText().toStdString();
    // Asked for, the message of ICQ's Deleted folder comes along.
    window->findChild<QCheckBox*>(QStringLiteral("deletedFolderChoice"))->setChecked(true);
    ASSERT_TRUE(runImport(*window));
    EXPECT_TRUE(window->summaryText().contains("\nMessages: 1 in 1 conversation\n"))
        << window->summaryText().toStdString();
    // The fixture's admin.wav is missing.
    EXPECT_EQ(window->lastOutcome().end, gui::RunEnd::NotCarried);
    EXPECT_TRUE(window->summaryText().contains(QString::fromStdString(
        "\nWarnings: " + root() +
        "/Program Files/ICQ/Sounds/admin.wav: cannot carry (No such file or directory)\n")));
}

// Cancel of an ICQ folder's reading: tolvane-icq leaves nothing behind, and the window says so.
TEST_F(WindowTest, CancelledFolderRunKeepsNothing) {
    std::ifstream in(std::string(TOLVANE_SOURCE_DIR) + "/samples/demo.json");
    testsupport::buildSample(nlohmann::json::parse(in), root());
    // A reader that exports until it is stopped, then ends as tolvane-icq does.
    const std::string reader = dir.file("slow-icq");
    writeFile(reader, "#!/bin/sh\ntrap 'exit 130' INT\necho 'stage Exporting 23456789.dat' >&2\n"
                      "while :; do sleep 0.05; done\n");
    fs::permissions(reader, fs::perms::owner_all);
    gui::CommandLine options;
    options.host.windowsRoot = root() + "/Program Files/ICQ";
    options.icqReader = reader;
    MainWindow window(options, {}, {});
    window.show();
    ASSERT_EQ(window.panelState(), PanelState::IcqFolder);
    QSignalSpy finished(&window, &MainWindow::importFinished);
    click(button(window, "importButton"));
    ASSERT_TRUE(window.running());
    // Its stage in the status line, once it is under way.
    for (int i = 0; i < 500 && window.statusText() != "Exporting 23456789.dat\u2026"; ++i) {
        QTest::qWait(10);
    }
    ASSERT_EQ(window.statusText(), "Exporting 23456789.dat\u2026");
    click(button(window, "cancelButton"));
    ASSERT_TRUE(finished.wait(kRunTimeout));
    EXPECT_EQ(window.lastOutcome().end, gui::RunEnd::Cancelled);
    EXPECT_EQ(window.statusText(), "Import cancelled; nothing of the run was kept.");
    EXPECT_FALSE(button(window, "saveButton")->isEnabled());
}

// An empty password in the window's prompt: the plug-in asks again in the run, where nobody
// answers, and refuses.
TEST_F(WindowTest, RefusedRunSaysWhy) {
    auto window = openRover(nullptr);
    {
        ModalAnswer answers(
            [](QWidget* modal) { testsupport::clickButton(modal, QStringLiteral("OK")); });
        ASSERT_TRUE(runImport(*window));
        EXPECT_EQ(answers.titles(), (QStringList{"Password", "ICQ"}));
    }
    EXPECT_EQ(window->lastOutcome().end, gui::RunEnd::Refused);
    EXPECT_EQ(window->statusText(), "Import failed: ICQ stopped the run (User password has not "
                                    "been set!).");
    auto* record = window->findChild<QTreeWidget*>(QStringLiteral("recordTree"));
    ASSERT_EQ(record->topLevelItemCount(), 1);
    EXPECT_EQ(record->topLevelItem(0)->child(0)->text(1), "ICQ_VQX_YES");
}

TEST_F(WindowTest, RemembersRootChoicesAndOutputFolderAcrossWindows) {
    const QString out = QString::fromStdString(dir.file("out"));
    const auto deletedFolder = [](MainWindow& window) {
        return window.findChild<QCheckBox*>(QStringLiteral("deletedFolderChoice"));
    };
    {
        auto first = openRover("secret");
        EXPECT_FALSE(deletedFolder(*first)->isChecked());
        deletedFolder(*first)->setChecked(true);
        zoneChoice(*first)->setCurrentText(QStringLiteral("Asia/Kolkata"));
        ASSERT_TRUE(runImport(*first));
        ASSERT_TRUE(first->saveTo(out));
    }
    auto second = open("");
    choosePlugin(*second);
    ASSERT_EQ(second->panelState(), PanelState::Page);
    EXPECT_EQ(second->session()->options().windowsRoot, root());
    EXPECT_EQ(zoneChoice(*second)->currentText(), QStringLiteral("Asia/Kolkata"));
    EXPECT_TRUE(deletedFolder(*second)->isChecked());
    QTest::keyClicks(page(*second)->findChild<QLineEdit*>(), QStringLiteral("secret"));
    ASSERT_TRUE(runImport(*second));
    QString startedIn;
    ModalAnswer dialog([&startedIn](QWidget* modal) {
        startedIn = qobject_cast<QFileDialog*>(modal)->directory().absolutePath();
        qobject_cast<QFileDialog*>(modal)->reject();
    });
    click(button(*second, "saveButton"));
    EXPECT_EQ(startedIn, out);
}

// A dropped folder becomes the Windows root; a dropped file is refused.
TEST_F(WindowTest, DroppedFolderBecomesTheWindowsRoot) {
    buildRover();
    writeFile(dir.file("note.txt"), "x");
    writeFile(dir.file("C/Program Files/ICQ/2000a/222.dat"), "");
    // A database dropped on its own stands for its folder, and is the one chosen there.
    const std::tuple<const char*, bool, PanelState> cases[] = {
        {"note.txt", false, PanelState::ChoosePlugin},
        {"C", true, PanelState::Page},
        {"C/Program Files/ICQ/2000a/222.dat", true, PanelState::IcqFolder}};
    for (const auto& [dropped, accepted, state] : cases) {
        auto window = open("");
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir.file(dropped)))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &enter);
        EXPECT_EQ(enter.isAccepted(), accepted) << dropped;
        if (accepted) {
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(window.get(), &drop);
            choosePlugin(*window);
        }
        EXPECT_EQ(window->panelState(), state) << dropped;
        if (state == PanelState::IcqFolder) {
            EXPECT_EQ(window->findChild<QListWidget*>(QStringLiteral("icqDatabases"))
                          ->currentItem()
                          ->text()
                          .toStdString(),
                      "Owner unknown\n" + dir.file("C/Program Files/ICQ/2000a/222.dat") +
                          ": not an ICQ database (the file has 0 bytes, fewer than its 8-byte "
                          "header)\n222.dat");
        }
    }
}

// A save that fails keeps an earlier record.json as it was, leaves no temporary file and says why.
TEST_F(WindowTest, FailedSaveKeepsTheEarlierRecordAndSaysWhy) {
    auto window = openRover("secret");
    ASSERT_TRUE(runImport(*window));
    const std::string target = dir.file("busy");
    const std::string earlier = R"({"format": "tolvane-record/1", "sections": []})";
    writeFile(target + "/record.json", earlier);
    QString message;
    ModalAnswer answer([&message](QWidget* modal) {
        message = testsupport::messageText(modal);
        testsupport::clickButton(modal, QStringLiteral("OK"));
    });
    {
        // An import is writing there.
        std::string error;
        const auto busy = vqrt::OutputFolder::open(target, error);
        ASSERT_TRUE(busy) << error;
        EXPECT_FALSE(window->saveTo(QString::fromStdString(target)));
    }
    EXPECT_EQ(message.toStdString(), "The record was not saved: " + target +
                                         ": another import is writing there. record.json in " +
                                         target + " was left as it was.");
    EXPECT_EQ(window->statusText(), message);
    EXPECT_EQ(readFile(target + "/record.json"), earlier);
    // A file that cannot be copied: its path in the save's staging folder is longer than a
    // path can be, while the folder's own files are not.
    std::string deep = dir.file("deep");
    while (deep.size() < 3900) {
        deep += "/" + std::string(100, 'd');
    }
    writeFile(deep + "/record.json", earlier);
    const std::string name = std::string(240, 'x') + ".txt";
    writeFile(window->stagingFolder().toStdString() + "/history/" + name, "a conversation");
    EXPECT_FALSE(window->saveTo(QString::fromStdString(deep)));
    EXPECT_EQ(message.toStdString(), "The record was not saved: " + deep + "/history/" + name +
                                         ": cannot write (File name too long). record.json in " +
                                         deep + " was left as it was.");
    EXPECT_EQ(readFile(deep + "/record.json"), earlier);
    for (const auto& entry : fs::directory_iterator(deep)) {
        EXPECT_TRUE(entry.path().filename() == "record.json" ||
                    entry.path().filename() == ".tolvane-lock")
            << entry.path();
    }
    // Files of somebody else's are not even written over.
    const std::string theirs = dir.file("documents");
    writeFile(theirs + "/contacts.vcf", "from the phone");
    writeFile(theirs + "/history/diary.txt", "mine");
    EXPECT_FALSE(window->saveTo(QString::fromStdString(theirs)));
    EXPECT_EQ(message.toStdString(),
              "The record was not saved: " + theirs +
                  ": holds history/ and contacts.vcf, which no earlier import wrote; move them "
                  "away or choose another folder. record.json in " +
                  theirs + " was left as it was.");
    EXPECT_EQ(readFile(theirs + "/contacts.vcf"), "from the phone");
}

} // namespace
