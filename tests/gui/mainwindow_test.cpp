#include "mainwindow.h"

#include <sys/stat.h>

#include <filesystem>
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
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "recordtree.h"
#include "support/dialoganswer.h"
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

const char* const kPassword = "ICQ Plugin Request";
#define INSTALL_HINT                                                                               \
    "\n\nChoose the folder where the Windows system drive is mounted (it holds the Windows "       \
    "folder and Users or Documents and Settings) with Browse\u2026 above."
constexpr int kNever = 1000;

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
protected:
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
    static void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }
    static QProgressBar* progress(MainWindow& window) {
        return window.findChild<QProgressBar*>(QStringLiteral("progress"));
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

// ---- Imports that stop before the end ----

struct StopCase {
    const char* name;
    const char* typed;  // typed into the page; null: the password dialog is answered with Abort
    int stopAt;         // the bar's value at which Cancel is clicked (-1: from a timer at once)
    bool close;         // the window is closed there instead of Cancel
    int progress;       // where the bar stays
    const char* status; // of the window
    QStringList record; // as shown
};

void PrintTo(const StopCase& c, std::ostream* out) {
    *out << c.name;
}

class StoppedRun : public WindowTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StoppedRun, KeepsWhatWasWrittenUntilThen) {
    const StopCase& c = GetParam();
    auto window = openRover(c.typed);
    QPushButton* cancel = button(*window, "cancelButton");
    bool enabledDuringRun = false;
    const auto stop = [&] {
        enabledDuringRun = cancel->isEnabled();
        c.close ? (void)window->close() : click(cancel);
    };
    QObject::connect(progress(*window), &QProgressBar::valueChanged, [&](int value) {
        if (value == c.stopAt) {
            stop();
        }
    });
    if (c.stopAt == -1) {
        QTimer::singleShot(0, window.get(), stop);
    }
    QString message;
    ModalAnswer answer([&message](QWidget* modal) {
        message = testsupport::messageText(modal);
        testsupport::clickButton(modal, modal->windowTitle() == kPassword ? "Abort" : "OK");
    });
    click(button(*window, "importButton"));

    EXPECT_EQ(progress(*window)->value(), c.progress);
    EXPECT_EQ(window->statusText().toStdString(), c.status);
    EXPECT_EQ(shown(*window), c.record);
    EXPECT_EQ(window->isVisible(), !c.close);
    if (c.typed == nullptr) {
        EXPECT_EQ(answer.titles(), (QStringList{kPassword, "ICQ"}));
        EXPECT_EQ(message, QStringLiteral("User password has not been set!"));
        return;
    }
    EXPECT_TRUE(enabledDuringRun);
    EXPECT_FALSE(cancel->isEnabled());
    EXPECT_TRUE(button(*window, "importButton")->isEnabled());
    // What a cancelled run wrote can still be saved; the record says it is incomplete.
    ASSERT_TRUE(window->saveTo(QString::fromStdString(dir.file("partial"))));
    const json saved = json::parse(readFile(dir.file("partial/record.json")));
    EXPECT_EQ(saved["result"], -1);
    EXPECT_EQ(saved["complete"], false);
}

const char* const kCancelled =
    "Import cancelled: the record holds only what was written before Cancel.";

INSTANTIATE_TEST_SUITE_P(
    Window, StoppedRun,
    ::testing::Values(
        StopCase{"CancelAtTheSecondStep",
                 "secret",
                 10,
                 false,
                 10,
                 kCancelled,
                 {"ICQ_FAILURE", "  ICQ_VQX_STATUS=ICQ_VQX_NO"}},
        StopCase{"CancelFromATimerWhileTheRunRepaints", "secret", -1, false, 5, kCancelled, {}},
        StopCase{"ClosingCancelsFirst", "secret", 5, true, 5, kCancelled, {}},
        StopCase{"PasswordRefused",
                 nullptr,
                 kNever,
                 false,
                 0,
                 "Import failed: ICQ stopped the run (User password has not been set!). The "
                 "record holds what was written until then.",
                 {"ICQ_FAILURE", "  ICQ_VQX_STATUS=ICQ_VQX_YES"}}),
    [](const ::testing::TestParamInfo<StopCase>& info) { return std::string(info.param.name); });

// ---- A whole import, and saving it ----

TEST_F(WindowTest, WholeImportThroughTheWindowThenSave) {
    auto window = openRover(nullptr);
    std::vector<int> steps;
    QObject::connect(progress(*window), &QProgressBar::valueChanged,
                     [&steps](int value) { steps.push_back(value); });
    {
        QWidget* parent = nullptr;
        ModalAnswer answer([&parent](QWidget* modal) {
            parent = modal->parentWidget();
            QTest::keyClicks(modal->findChild<QLineEdit*>(), QStringLiteral("typed"));
            QTest::keyClick(modal->findChild<QLineEdit*>(), Qt::Key_Return);
        });
        click(button(*window, "importButton"));
        EXPECT_EQ(answer.titles(), QStringList{kPassword});
        EXPECT_EQ(parent, window.get());
    }
    EXPECT_FALSE(window->running());
    EXPECT_EQ(steps, (std::vector<int>{5, 10, 15, 25, 35, 40, 50, 60}));
    EXPECT_EQ(window->statusText().toStdString(),
              withRoot("Import complete: the record holds 5 sections and 1 carried file. Save it "
                       "to keep it.\nWarning: @/Program Files/ICQ/Sounds/admin.wav: cannot carry "
                       "(No such file or directory)",
                       root()));
    const QString sounds = QString::fromStdString(root()) + "/Program Files/ICQ/Sounds/";
    EXPECT_EQ(
        shown(*window).mid(9),
        (QStringList{"ICQ_OWNER", "  UIN=111", "  Nickname=Rover",
                     QStringLiteral("  Password=") + gui::RecordTree::kHiddenValue, "CONTACTS",
                     "  contact_1=", "  No_contacts=1", "ICQ_SOUNDS_SETTINGS",
                     "  PlaySound=ICQ_VQX_YES", "  ICQALAdmin=" + sounds + "admin.wav|not carried",
                     "  ICQMessage=" + sounds + "msg.wav|files/msg.wav"}));

    const QString target = QString::fromStdString(dir.file("saved"));
    QDir().mkpath(target);
    {
        ModalAnswer chooseFolder([&target](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            dialog->setDirectory(target);
            dialog->selectFile(target);
            static_cast<QDialog*>(dialog)->accept();
        });
        click(button(*window, "saveButton"));
    }
    EXPECT_EQ(window->statusText(), "Saved record.json and 1 carried file in " + target + ".");
    const json saved = json::parse(readFile(dir.file("saved/record.json")));
    // "@" stands for the root ("\u0040" is the e-mail's).
    EXPECT_EQ(saved, json::parse(withRoot(R"({
      "format": "tolvane-record/1", "plugin": "ICQ", "result": 0, "complete": true,
      "sections": [
        {"name": "ICQ_FAILURE", "closed": true,
         "entries": [{"key": "ICQ_VQX_STATUS", "value": "ICQ_VQX_NO"}]},
        {"name": "ICQ_IMPORTED_SETTINGS", "closed": true, "entries": [
          {"key": "ICQ_HOST_SERVER_NAME", "value": "login.icq.com"},
          {"key": "ICQ_HOST_SERVER_PORT", "value": "5190"},
          {"key": "ICQ_USER_SETTINGS", "value": "ICQ_VQX_YES"},
          {"key": "ICQ_USER_CONTACTS", "value": "ICQ_VQX_YES"},
          {"key": "ICQ_APPEND_CONTACTS", "value": "ICQ_VQX_YES"},
          {"key": "ICQ_SOUNDS_SETTINGS_PRESENT", "value": "ICQ_VQX_YES"}]},
        {"name": "ICQ_OWNER", "closed": true, "entries": [
          {"key": "UIN", "value": "111"}, {"key": "Nickname", "value": "Rover"},
          {"key": "Password", "value": "typed"}]},
        {"name": "CONTACTS", "closed": true, "entries": [
          {"section": {"name": "contact_1", "closed": true, "entries": [
            {"key": "UIN", "value": "4711042"}, {"key": "First_Name", "value": "Jörg"},
            {"key": "Last_Name", "value": "Weißmüller"},
            {"key": "Description", "value": "Jörg aus Köln"}, {"key": "Nickname", "value": "Jörg"},
            {"key": "Email", "value": "joerg\u0040web.de"}]}},
          {"key": "No_contacts", "value": "1"}]},
        {"name": "ICQ_SOUNDS_SETTINGS", "closed": true, "entries": [
          {"key": "PlaySound", "value": "ICQ_VQX_YES"},
          {"key": "ICQALAdmin", "file": "\"@/Program Files/ICQ/Sounds/admin.wav\"",
           "carried": null},
          {"key": "ICQMessage", "file": "\"@/Program Files/ICQ/Sounds/msg.wav\"",
           "carried": "files/msg.wav"}]}]})",
                                          root())));
    EXPECT_EQ(readFile(dir.file("saved/files/msg.wav")),
              readFile(root() + "/Program Files/ICQ/Sounds/msg.wav"));
    struct stat st;
    ASSERT_EQ(stat(dir.file("saved/record.json").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u); // the record holds the password

    // The boxes of the page decide what the next run imports.
    QCheckBox* contacts = nullptr;
    for (auto* box : page(*window)->findChildren<QCheckBox*>()) {
        contacts = box->text() == QStringLiteral("Import Con&tacts") ? box : contacts;
    }
    QTest::mouseClick(contacts, Qt::LeftButton, {}, QPoint(6, contacts->height() / 2));
    ASSERT_FALSE(contacts->isChecked());
    QTest::keyClicks(page(*window)->findChild<QLineEdit*>(), QStringLiteral("secret"));
    click(button(*window, "importButton"));
    EXPECT_EQ(shown(*window).mid(5, 2),
              (QStringList{"  ICQ_USER_SETTINGS=ICQ_VQX_YES", "  ICQ_USER_CONTACTS=ICQ_VQX_NO"}));
    EXPECT_FALSE(shown(*window).contains("CONTACTS"));
}

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
    click(button(*window, "importButton"));
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
