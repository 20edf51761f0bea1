#include "mainwindow.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "contactspage.h"
#include "messagespage.h"
#include "recordtree.h"
#include "soundspage.h"
#include "support/dialoganswer.h"
#include "support/process.h"
#include "support/sample.h"
#include "support/tempdir.h"

// The desktop host's window, driven with real clicks over the real plug-in and installations
// built by the sample builder.

namespace {

namespace fs = std::filesystem;
using gui::MainWindow;
using gui::PanelState;
using json = nlohmann::ordered_json;
using testsupport::ModalAnswer;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

#define INSTALL_HINT                                                                               \
    "\n\nChoose the folder where the Windows system drive is mounted (it holds the Windows "       \
    "folder and Users or Documents and Settings) with Browse\u2026 above."
constexpr int kRunTimeout = 60000;

// An XP machine whose first user has ICQ with these owners: each has personal sounds
// (ICQMessage names msg.wav, ICQALAdmin a file that is missing) and a database of one contact.
nlohmann::json sample(std::vector<std::string> users, bool installed,
                      std::vector<std::pair<const char*, int>> owners) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& [nickname, uin] : owners) {
        list.push_back(nlohmann::json::parse(R"({"lineEnd": "lf", "playSound": "Yes",
          "sounds": {"ICQALAdmin": {"path": "C:\\Program Files\\ICQ\\Sounds\\admin.wav",
                                    "missing": true},
                     "ICQMessage": "C:\\Program Files\\ICQ\\Sounds\\msg.wav"},
          "database": {"contacts": [{"uin": 4711042, "nickname": "Jörg", "firstName": "Jörg",
                                     "lastName": "Weißmüller", "handle": "Jörg aus Köln",
                                     "email": "joerg@web.de", "status": "list"}]}})"));
        list.back()["uin"] = uin;
        list.back()["nickname"] = nickname;
    }
    return {{"users", users},
            {"icq",
             {{"installed", installed},
              {"version", 2000},
              {"server", {{"host", "login.icq.com"}, {"port", 5190}}},
              {"owners", list}}}};
}

std::string withRoot(std::string text, const std::string& root) {
    for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at)) {
        text.replace(at, 1, root);
        at += root.size();
    }
    return text;
}

class WindowTest : public ::testing::Test {
public:
    void SetUp() override {
        // Each test keeps the window's settings in a folder of its own.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(dir.file("config")));
    }

    std::string root() const { return dir.file("C"); }
    void buildRover() {
        testsupport::buildSample(sample({"Alice"}, true, {{"Rover", 111}}), root());
    }

    std::unique_ptr<MainWindow> open(const std::string& windowsRoot,
                                     std::vector<std::string> plugins = {TARVEX_PLUGIN_PATH},
                                     const std::string& user = {}) {
        gui::CommandLine options;
        options.host.windowsRoot = windowsRoot;
        options.host.user = user;
        options.importer = TOLVANE_IMPORT_PATH;
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
    static QStringList owners(MainWindow& window) {
        QStringList names;
        auto* list = page(window)->findChild<QListWidget*>(QStringLiteral("m_pWinUsersList"));
        for (int i = 0; list != nullptr && i < list->count(); ++i) {
            names << list->item(i)->text();
        }
        return names;
    }
    static QPushButton* button(MainWindow& window, const char* name) {
        return window.findChild<QPushButton*>(QString::fromLatin1(name));
    }
    static void click(QWidget* widget, QPoint at = {}) {
        QTest::mouseClick(widget, Qt::LeftButton, {}, at);
    }
    /// The shown record: "SECTION" lines, then "  key=value|carried" for each entry.
    static QStringList shown(MainWindow& window) {
        auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("recordTree"));
        QStringList lines;
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            QTreeWidgetItem* section = tree->topLevelItem(i);
            lines << section->text(0);
            for (int j = 0; j < section->childCount(); ++j) {
                QTreeWidgetItem* entry = section->child(j);
                lines << "  " + entry->text(0) + "=" + entry->text(1) +
                             (entry->text(2).isEmpty() ? "" : "|" + entry->text(2));
            }
        }
        return lines;
    }

    TempDir dir;
};

// ---- What the options panel says when there is nothing to import ----

struct PanelCase {
    const char* name;
    std::function<void(const std::string& root)> setup;
    const char* windowsRoot; // "@" stands for the root
    const char* plugin;      // null: the ICQ plug-in
    PanelState state;
    const char* message; // "@" stands for the root
};

void PrintTo(const PanelCase& c, std::ostream* out) {
    *out << c.name;
}

class PanelStateTest : public WindowTest, public ::testing::WithParamInterface<PanelCase> {};

TEST_P(PanelStateTest, SaysWhatIsWrongAndWhatToDo) {
    const PanelCase& c = GetParam();
    c.setup(root());
    auto window = open(withRoot(c.windowsRoot, root()),
                       {c.plugin == nullptr ? TARVEX_PLUGIN_PATH : withRoot(c.plugin, root())});
    choosePlugin(*window);
    EXPECT_EQ(window->panelState(), c.state);
    EXPECT_EQ(window->panelMessage().toStdString(), withRoot(c.message, root()));
    EXPECT_FALSE(button(*window, "importButton")->isEnabled());
    const QDialog* shownPage = page(*window);
    EXPECT_TRUE(shownPage == nullptr || !shownPage->isVisible());
}

void nothing(const std::string&) {}

INSTANTIATE_TEST_SUITE_P(
    Window, PanelStateTest,
    ::testing::Values(
        PanelCase{"NoRootGiven", nothing, "", nullptr, PanelState::NoInstallation,
                  "No Windows installation chosen yet." INSTALL_HINT},
        PanelCase{"RootMissing", nothing, "@", nullptr, PanelState::NoInstallation,
                  "This folder cannot be used as a Windows installation:\n@: not a directory "
                  "(expected the root of a mounted Windows system volume)" INSTALL_HINT},
        PanelCase{"NoWindowsInside",
                  [](const std::string& root) { writeFile(root + "/Documents/a.txt", "x"); }, "@",
                  nullptr, PanelState::NoInstallation,
                  "This folder cannot be used as a Windows installation:\n@: no Windows "
                  "installation found (expected Windows/System32/config/SOFTWARE or a user "
                  "profile under Users or Documents and Settings)" INSTALL_HINT},
        PanelCase{"IcqNotInstalled",
                  [](const std::string& root) {
                      testsupport::buildSample(sample({"Alice"}, false, {}), root);
                  },
                  "@", nullptr, PanelState::NothingToImport,
                  "ICQ is not installed on this Windows installation (@, user Alice): its "
                  "registry names no ICQ program, so there is nothing to import.\n\nChoose the "
                  "Windows installation or the user where ICQ was used, above."},
        PanelCase{"NoOwners",
                  [](const std::string& root) {
                      testsupport::buildSample(sample({"Alice"}, true, {}), root);
                  },
                  "@", nullptr, PanelState::NoOwners,
                  "ICQ is installed on this Windows installation, but it holds no ICQ account "
                  "to import: no owner file of ICQ could be read.\n\nChoose another Windows "
                  "installation or user above, or start ICQ on that system once so that it "
                  "writes its account files."},
        PanelCase{
            "SeveralUsers",
            [](const std::string& root) {
                testsupport::buildSample(sample({"Alice", "Bob"}, true, {{"Rover", 111}}), root);
            },
            "@", nullptr, PanelState::NoInstallation,
            "This Windows installation has several users (Alice, Bob).\n\nChoose the "
            "user whose settings are imported in the User box above."},
        PanelCase{"NoPlugin", nothing, "@", "@/libnothing.so.1", PanelState::NoPlugins,
                  "No plug-in found.\n\nLooked for plug-in libraries in:\n  /opt/plugins\n\n"
                  "Install the ICQ importer (libtarvex.so.1) into lib/tolvane/plugins beside "
                  "this program, or start tolvane with --plugin PATH.\n\nThese could not be "
                  "loaded:\n@/libnothing.so.1: cannot load the plug-in (cannot open shared "
                  "object file: No such file or directory)"}),
    [](const ::testing::TestParamInfo<PanelCase>& info) { return std::string(info.param.name); });

// ---- The plug-in list and the embedded page ----

TEST_F(WindowTest, EmbedsThePageOfThePluginChosenForTheInstallationChosen) {
    buildRover();
    testsupport::buildSample(sample({"Carol", "Dave"}, true, {{"Zed", 222}}), dir.file("D"));
    // The same library twice gives two plug-in objects, each with a page of its own.
    auto window = open(root(), {TARVEX_PLUGIN_PATH, TARVEX_PLUGIN_PATH});
    const QModelIndex item =
        window->findChild<QListView*>(QStringLiteral("pluginList"))->model()->index(0, 0);
    EXPECT_EQ(item.data(Qt::DisplayRole).toString(), QStringLiteral("ICQ\nICQ Importer Plugin"));
    EXPECT_EQ(item.data(Qt::DecorationRole).value<QPixmap>().size(), QSize(16, 16));
    EXPECT_EQ(window->panelState(), PanelState::ChoosePlugin);

    choosePlugin(*window, 0);
    QPointer<QDialog> first = page(*window);
    ASSERT_EQ(window->panelState(), PanelState::Page);
    EXPECT_FALSE(first->isWindow());
    EXPECT_EQ(first->parentWidget()->objectName(), QStringLiteral("pageHost"));
    // The whole page shows, however far its texts grew it.
    EXPECT_TRUE(first->parentWidget()->rect().contains(first->geometry()));
    EXPECT_EQ(owners(*window), QStringList{QStringLiteral("Rover")});
    EXPECT_TRUE(button(*window, "importButton")->isEnabled());
    EXPECT_FALSE(button(*window, "saveButton")->isEnabled());
    choosePlugin(*window, 1);
    EXPECT_TRUE(first->isHidden()); // hidden by hideDlg, not only by the panel
    EXPECT_EQ(window->findChildren<QDialog*>().size(), 2);

    // A new installation gets fresh plug-in objects; its users are chosen in the window.
    window->setWindowsRoot(QString::fromStdString(dir.file("D")));
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(window->panelState(), PanelState::NoInstallation);
    auto* users = window->findChild<QComboBox*>(QStringLiteral("userChoice"));
    users->setCurrentIndex(users->findText(QStringLiteral("Carol")));
    ASSERT_EQ(window->panelState(), PanelState::Page);
    EXPECT_EQ(owners(*window), QStringList{QStringLiteral("Zed")});
    // --user chooses without asking, in any case; a relative root is taken from here.
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir.path())));
    auto carol = open("./D/../D", {TARVEX_PLUGIN_PATH}, "carol");
    QDir::setCurrent(QDir::rootPath());
    ASSERT_NE(carol->session(), nullptr);
    EXPECT_EQ(carol->session()->options().windowsRoot, dir.file("D"));
    EXPECT_EQ(carol->session()->user()->name, "Carol");
}

// ---- Imports run by tolvane-import ----

// Runs the import as a click does and waits until its pages show.
bool runImport(MainWindow& window) {
    QSignalSpy finished(&window, &MainWindow::importFinished);
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("importButton")),
                      Qt::LeftButton);
    return finished.wait(kRunTimeout);
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
};

TempDir* DemoImport::dir_ = nullptr;
std::string DemoImport::password_;
MainWindow* DemoImport::window_ = nullptr;

TEST_F(DemoImport, SummarySpeaksOfPeopleAndFiles) {
    EXPECT_EQ(window_->lastOutcome().end, gui::RunEnd::Complete);
    EXPECT_EQ(window_->summaryText(),
              "Import: complete\n"
              "Owner: Rover (UIN 23456789)\n"
              "Server: login.icq.com, port 5190\n"
              "Contacts: 37 contacts, added to the current contact list\n"
              "Sounds: 6 events, 6 files carried; sounds on\n"
              "Left out: nothing\n"
              "Archive: 20 on the list, 1 awaiting authorisation, 16 removed, 1 ignored, 5 known "
              "only from messages\n"
              "Messages: 786 in 20 conversations\n"
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
    // The command line counts the contacts that have a record, then the record's.
    const std::string marker = "\nContacts:  ";
    const size_t at = cli.out.find(marker) + marker.size();
    const std::string counts =
        cli.out.substr(at, cli.out.find(" (", at) - at) + ", 5 known only from messages";

    auto* count = find<QLabel>("contactCount");
    auto* table = find<QTableView>("contactTable");
    EXPECT_EQ(count->text().toStdString(), counts + " \u2013 21 shown");
    EXPECT_EQ(table->model()->rowCount(), 21);
    const QString shown = table->model()->index(0, gui::ContactsPage::kStanding).data().toString();
    EXPECT_TRUE(shown == "on the list" || shown == "awaiting authorisation") << shown.toStdString();
    find<QCheckBox>("showRemoved")->click();
    EXPECT_EQ(table->model()->rowCount(), 43);
    find<QLineEdit>("contactFilter")->setText(QStringLiteral("weißmüller"));
    ASSERT_EQ(table->model()->rowCount(), 1);
    EXPECT_EQ(table->model()->index(0, gui::ContactsPage::kUin).data().toInt(), 4711042);
    find<QLineEdit>("contactFilter")->clear();
    find<QCheckBox>("showRemoved")->click();
    EXPECT_EQ(count->text().toStdString(), counts + " \u2013 21 shown");
}

TEST_F(DemoImport, MessagesOneConversationAtATimeAndSearched) {
    auto* conversations = find<QListWidget>("conversationList");
    auto* messages = find<QTreeWidget>("messageList");
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
    QTest::keyClicks(find<QLineEdit>("messageSearch"), QStringLiteral("CINEMA"));
    EXPECT_GT(inConversations(), 0);
    EXPECT_LT(inConversations(), 786);
    ASSERT_GT(messages->topLevelItemCount(), 0);
    for (int i = 0; i < messages->topLevelItemCount(); ++i) {
        EXPECT_TRUE(messages->topLevelItem(i)
                        ->text(gui::MessagesPage::kText)
                        .contains("cinema", Qt::CaseInsensitive));
    }
    find<QLineEdit>("messageSearch")->setText(QStringLiteral("100%_sure"));
    EXPECT_EQ(conversations->count(), 0);
    EXPECT_EQ(find<QLabel>("conversationHeading")->text(), "No message holds \"100%_sure\".");
    find<QLineEdit>("messageSearch")->clear();
    EXPECT_EQ(inConversations(), 786);
}

TEST_F(DemoImport, SoundsWithTheirFilesAndRecordWithEmptyFields) {
    auto* sounds = find<QTreeWidget>("soundList");
    ASSERT_EQ(sounds->topLevelItemCount(), 6);
    QTreeWidgetItem* message = sounds->findItems("Message received", Qt::MatchExactly)[0];
    EXPECT_EQ(message->text(gui::SoundsPage::kFile).toStdString(),
              root() + "/Program Files/ICQ/Sounds/New Message.wav");
    const QList<QToolButton*> play = sounds->findChildren<QToolButton*>(QStringLiteral("play"));
    EXPECT_EQ(play.size(), gui::SoundsPage::canPlay() ? 6 : 0);
    if (!play.isEmpty()) {
        auto* button =
            qobject_cast<QToolButton*>(sounds->itemWidget(message, gui::SoundsPage::kPlay));
        button->click();
        EXPECT_EQ(find<gui::SoundsPage>("soundsPage")->playing().toStdString(),
                  staged(message->text(gui::SoundsPage::kCarried).toStdString()));
    }

    auto* record = find<QTreeWidget>("recordTree");
    QTreeWidgetItem* contacts = record->findItems("CONTACTS", Qt::MatchExactly)[0];
    EXPECT_EQ(contacts->text(gui::RecordTree::kValue), "37 sections, 1 value");
    int empty = 0;
    for (int i = 0; i < contacts->childCount(); ++i) {
        for (int j = 0; j < contacts->child(i)->childCount(); ++j) {
            empty += contacts->child(i)->child(j)->text(gui::RecordTree::kValue) ==
                     gui::RecordTree::kEmptyValue;
        }
    }
    EXPECT_GT(empty, 0);
}

struct ExportCase {
    const char* name;
    gui::ExportKind kind;
    const char* target;
    const char* suffix; // of the files copied from history/; null for one file
    int files;
};

void PrintTo(const ExportCase& c, std::ostream* out) {
    *out << c.name;
}

class DemoExport : public DemoImport, public ::testing::WithParamInterface<ExportCase> {};

TEST_P(DemoExport, WritesTheFilesTheCommandLineWrote) {
    const ExportCase& c = GetParam();
    const std::string target = dir_->file(std::string("exports/") + c.target);
    ASSERT_TRUE(window_->exportTo(c.kind, QString::fromStdString(target)));
    EXPECT_EQ(window_->statusText().toStdString(), "Exported " + std::to_string(c.files) +
                                                       (c.files == 1 ? " file" : " files") +
                                                       " to " + target + ".");
    if (c.suffix == nullptr) {
        EXPECT_EQ(readFile(target), readFile(staged(c.name)));
        return;
    }
    int files = 0;
    for (const auto& entry : fs::directory_iterator(target)) {
        EXPECT_EQ(entry.path().extension(), c.suffix);
        EXPECT_EQ(readFile(entry.path()),
                  readFile(staged("history/" + entry.path().filename().string())));
        ++files;
    }
    EXPECT_EQ(files, c.files);
}

INSTANTIATE_TEST_SUITE_P(
    Window, DemoExport,
    ::testing::Values(ExportCase{"contacts.vcf", gui::ExportKind::ContactsVcard, "a/my.vcf",
                                 nullptr, 1},
                      ExportCase{"contacts.csv", gui::ExportKind::ContactsCsv, "b.csv", nullptr, 1},
                      ExportCase{"html", gui::ExportKind::HistoryHtml, "html", ".html", 21},
                      ExportCase{"text", gui::ExportKind::HistoryText, "text", ".txt", 20}),
    [](const ::testing::TestParamInfo<ExportCase>& info) {
        return std::string(info.param.name).substr(0, std::string(info.param.name).find('.')) +
               (info.param.suffix == nullptr
                    ? std::string(info.param.target)
                          .substr(std::string(info.param.target).rfind('.') + 1)
                    : std::string());
    });

TEST_F(DemoImport, SaveCopiesRecordFilesAndArchive) {
    const std::string target = dir_->file("saved");
    ASSERT_TRUE(window_->saveTo(QString::fromStdString(target)));
    EXPECT_EQ(window_->statusText().toStdString(),
              "Saved record.json, 6 carried files and the ICQ archive in " + target + ".");
    std::vector<std::string> staging;
    for (const auto& entry :
         fs::recursive_directory_iterator(window_->stagingFolder().toStdString())) {
        staging.push_back(fs::relative(entry.path(), window_->stagingFolder().toStdString()));
        if (entry.is_regular_file()) {
            EXPECT_EQ(readFile(target + "/" + staging.back()), readFile(entry.path()));
        }
    }
    EXPECT_EQ(staging.size(), std::distance(fs::recursive_directory_iterator(target),
                                            fs::recursive_directory_iterator()));
    EXPECT_TRUE(
        window_->summaryText().endsWith("Files: " + QString::fromStdString(target) + " (saved)\n"));
}

// ---- Runs that stop, and runs refused ----

class StoppedRun : public WindowTest, public ::testing::WithParamInterface<bool> {};

// The child gets SIGINT while it runs; the window says so and can import again.
TEST_P(StoppedRun, CancelledAndStillUsable) {
    const bool byClosing = GetParam();
    auto window = openRover("secret");
    QSignalSpy finished(window.get(), &MainWindow::importFinished);
    click(button(*window, "importButton"));
    ASSERT_TRUE(window->running());
    ASSERT_NE(window->importProcess()->processId(), 0);
    byClosing ? (void)window->close() : click(button(*window, "cancelButton"));
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(button(*window, "cancelButton")->isEnabled());
    ASSERT_TRUE(finished.wait(kRunTimeout));
    EXPECT_EQ(window->lastOutcome().end, gui::RunEnd::Cancelled);
    EXPECT_EQ(window->isVisible(), !byClosing);
    EXPECT_EQ(window->statusText(), "Import cancelled; the record holds only what was written "
                                    "before Cancel.");
    EXPECT_TRUE(window->summaryText().startsWith("Import: cancelled;"));
    if (!byClosing) {
        ASSERT_TRUE(runImport(*window));
        // The fixture's admin.wav is missing.
        EXPECT_EQ(window->lastOutcome().end, gui::RunEnd::NotCarried);
        EXPECT_TRUE(window->statusText().startsWith("Import complete, but not everything chosen "
                                                    "could be carried (see the warnings): the "
                                                    "record holds 5 sections"));
    }
}

INSTANTIATE_TEST_SUITE_P(Window, StoppedRun, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "ClosingCancelsFirst" : "Cancel");
                         });

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
    EXPECT_EQ(window->lastOutcome().status, 1);
    EXPECT_EQ(window->statusText(), "Import failed: ICQ stopped the run (User password has not "
                                    "been set!).");
    EXPECT_EQ(shown(*window), (QStringList{"ICQ_FAILURE", "  ICQ_VQX_STATUS=ICQ_VQX_YES"}));
    // A prompt that is cancelled starts nothing.
    ModalAnswer cancel([](QWidget* modal) { testsupport::clickButton(modal, "Cancel"); });
    click(button(*window, "importButton"));
    EXPECT_FALSE(window->running());
    EXPECT_EQ(window->statusText(), "Import not started: no password was given.");
}

// ---- What the window keeps and takes ----

TEST_F(WindowTest, RemembersRootAndOutputFolderAcrossWindows) {
    const QString out = QString::fromStdString(dir.file("out"));
    {
        auto first = openRover("secret");
        ASSERT_TRUE(runImport(*first));
        EXPECT_TRUE(first->summaryText().contains(QString::fromStdString(
            "\nWarnings: " + root() +
            "/Program Files/ICQ/Sounds/admin.wav: cannot carry (No such file or directory)\n")));
        ASSERT_TRUE(first->saveTo(out));
    }
    auto second = open("");
    choosePlugin(*second);
    ASSERT_EQ(second->panelState(), PanelState::Page);
    EXPECT_EQ(second->session()->options().windowsRoot, root());
    QTest::keyClicks(page(*second)->findChild<QLineEdit*>(), QStringLiteral("secret"));
    ASSERT_TRUE(runImport(*second));
    QString startedIn;
    ModalAnswer dialog([&startedIn](QWidget* modal) {
        auto* files = qobject_cast<QFileDialog*>(modal);
        startedIn = files->directory().absolutePath();
        // The dialog can make a new folder for the import.
        auto* newFolder = files->findChild<QToolButton*>(QStringLiteral("newFolderButton"));
        ASSERT_NE(newFolder, nullptr);
        EXPECT_TRUE(newFolder->isVisible() && newFolder->isEnabled());
        newFolder->click();
        files->reject();
    });
    click(button(*second, "saveButton"));
    EXPECT_EQ(startedIn, out);
    EXPECT_TRUE(fs::is_directory(dir.file("out/New Folder")));
}

struct DropCase {
    const char* name;
    const char* dropped; // below the test's folder
    bool accepted;
};

class DroppedOnTheWindow : public WindowTest, public ::testing::WithParamInterface<DropCase> {};

TEST_P(DroppedOnTheWindow, AFolderBecomesTheWindowsRoot) {
    buildRover();
    writeFile(dir.file("note.txt"), "x");
    auto window = open("");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir.file(GetParam().dropped)))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &enter);
    EXPECT_EQ(enter.isAccepted(), GetParam().accepted);
    if (enter.isAccepted()) {
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &drop);
        choosePlugin(*window);
    }
    EXPECT_EQ(window->session() != nullptr, GetParam().accepted);
    EXPECT_EQ(window->panelState() == PanelState::Page, GetParam().accepted);
}

INSTANTIATE_TEST_SUITE_P(Window, DroppedOnTheWindow,
                         ::testing::Values(DropCase{"Folder", "C", true},
                                           DropCase{"File", "note.txt", false}),
                         [](const ::testing::TestParamInfo<DropCase>& info) {
                             return std::string(info.param.name);
                         });

// ---- Saves that fail ----

struct SaveCase {
    const char* name;
    const char* inTheWay; // made below the target folder before the save
    const char* cause;    // after the target folder
};

void PrintTo(const SaveCase& c, std::ostream* out) {
    *out << c.name;
}

class FailedSave : public WindowTest, public ::testing::WithParamInterface<SaveCase> {};

// Whatever fails, an earlier record.json stays as it was and no temporary file is left.
TEST_P(FailedSave, KeepsTheEarlierRecordAndSaysWhy) {
    auto window = openRover("secret");
    ASSERT_TRUE(runImport(*window));
    const std::string target = dir.file("busy");
    writeFile(target + "/record.json", "earlier");
    writeFile(target + "/" + GetParam().inTheWay, "in the way");
    QString message;
    ModalAnswer answer([&message](QWidget* modal) {
        message = testsupport::messageText(modal);
        testsupport::clickButton(modal, QStringLiteral("OK"));
    });
    EXPECT_FALSE(window->saveTo(QString::fromStdString(target)));
    const std::string expected = "The record was not saved: " + target + GetParam().cause +
                                 ". record.json in " + target + " was left as it was.";
    EXPECT_EQ(message.toStdString(), expected);
    EXPECT_EQ(window->statusText().toStdString(), expected);
    EXPECT_EQ(readFile(target + "/record.json"), "earlier");
    for (const auto& entry : fs::recursive_directory_iterator(target)) {
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Window, FailedSave,
    ::testing::Values(SaveCase{"FilesIsAFile", "files",
                               "/files: cannot create the folder (Not a directory)"},
                      SaveCase{"CarriedNameIsAFolder", "files/msg.wav/x",
                               "/files/msg.wav: cannot replace (Is a directory)"}),
    [](const ::testing::TestParamInfo<SaveCase>& info) { return std::string(info.param.name); });

} // namespace
