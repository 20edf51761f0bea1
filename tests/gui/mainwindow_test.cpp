#include "mainwindow.h"

#include <sys/stat.h>

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
#include <nlohmann/json.hpp>

#include "modalanswer.h"
#include "recordtree.h"
#include "support/tempdir.h"
#include "testinstallation.h"

namespace {

using gui::MainWindow;
using gui::PanelState;
using guitest::ModalAnswerer;
using json = nlohmann::ordered_json;
using testsupport::readFile;
using testsupport::TempDir;

const char* const kStatusComplete =
    "Import complete: the record holds 4 sections and 1 carried file. Save it to keep it.\n"
    "Warning: ";
const char* const kStatusCancelled =
    "Import cancelled: the record holds only what was written before Cancel.";
const char* const kInstallHint =
    "Choose the folder where the Windows system drive is mounted (it holds the Windows folder "
    "and Users or Documents and Settings) with Browse\u2026 above.";

class WindowTest : public ::testing::Test {
protected:
    std::string root() const { return dir.file("C"); }

    void build(const guitest::SampleInstallation& sample, const std::string& at = {}) {
        std::string error;
        ASSERT_TRUE(guitest::buildInstallation(at.empty() ? root() : at, sample, error)) << error;
    }
    void buildRover() { build({{"Alice"}, true, {{"Rover", "111"}}}); }

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

    static void choosePlugin(MainWindow& window, int row = 0) {
        auto* list = window.findChild<QListView*>(QStringLiteral("pluginList"));
        const QRect item = list->visualRect(list->model()->index(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
    }
    static QDialog* page(MainWindow& window) { return window.findChild<QDialog*>(); }
    static QCheckBox* pageBox(MainWindow& window, const QString& text) {
        for (auto* box : page(window)->findChildren<QCheckBox*>()) {
            if (box->text() == text) {
                return box;
            }
        }
        return nullptr;
    }
    static QLineEdit* pagePassword(MainWindow& window) {
        return page(window)->findChild<QLineEdit*>();
    }
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
    static void click(QWidget* widget) {
        QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(6, widget->height() / 2));
    }
    static void clickCentre(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }
    static QProgressBar* progress(MainWindow& window) {
        return window.findChild<QProgressBar*>(QStringLiteral("progress"));
    }
    /// The top-level sections of the shown record, with " (open)" for a section left open.
    static QStringList shownSections(MainWindow& window) {
        auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("recordTree"));
        QStringList names;
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            names << tree->topLevelItem(i)->text(0);
        }
        return names;
    }
    /// "key=value|carried" for each entry of the shown section `name`.
    static QStringList shownEntries(MainWindow& window, const QString& name) {
        auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("recordTree"));
        QStringList lines;
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            QTreeWidgetItem* section = tree->topLevelItem(i);
            for (int j = 0; section->text(0) == name && j < section->childCount(); ++j) {
                QTreeWidgetItem* entry = section->child(j);
                QString line = entry->text(0) + QLatin1Char('=') + entry->text(1);
                if (!entry->text(2).isEmpty()) {
                    line += QLatin1Char('|') + entry->text(2);
                }
                lines << line;
            }
        }
        return lines;
    }
    /// Makes the Save button's folder dialog answer with `folder`.
    static std::unique_ptr<ModalAnswerer> answerSaveDialog(const QString& folder) {
        return std::make_unique<ModalAnswerer>([folder](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            dialog->setDirectory(folder);
            dialog->selectFile(folder);
            static_cast<QDialog*>(dialog)->accept();
        });
    }

    json expectedRecord(const std::string& password, bool contacts) const {
        const std::string sounds = root() + "/Program Files/ICQ/Sounds/";
        json record = {
            {"format", "tolvane-record/1"},
            {"plugin", "ICQ"},
            {"result", 0},
            {"complete", true},
            {"sections",
             {{{"name", "ICQ_FAILURE"},
               {"closed", true},
               {"entries", {{{"key", "ICQ_VQX_STATUS"}, {"value", "ICQ_VQX_NO"}}}}},
              {{"name", "ICQ_IMPORTED_SETTINGS"},
               {"closed", true},
               {"entries",
                {{{"key", "ICQ_HOST_SERVER_NAME"}, {"value", "login.icq.com"}},
                 {{"key", "ICQ_HOST_SERVER_PORT"}, {"value", "5190"}},
                 {{"key", "ICQ_USER_SETTINGS"}, {"value", "ICQ_VQX_YES"}},
                 {{"key", "ICQ_USER_CONTACTS"}, {"value", contacts ? "ICQ_VQX_YES" : "ICQ_VQX_NO"}},
                 {{"key", "ICQ_APPEND_CONTACTS"}, {"value", "ICQ_VQX_YES"}},
                 {{"key", "ICQ_SOUNDS_SETTINGS_PRESENT"}, {"value", "ICQ_VQX_YES"}}}}},
              {{"name", "ICQ_OWNER"},
               {"closed", true},
               {"entries",
                {{{"key", "UIN"}, {"value", "111"}},
                 {{"key", "Nickname"}, {"value", "Rover"}},
                 {{"key", "Password"}, {"value", password}}}}},
              {{"name", "ICQ_SOUNDS_SETTINGS"},
               {"closed", true},
               {"entries",
                {{{"key", "PlaySound"}, {"value", "ICQ_VQX_YES"}},
                 {{"key", "ICQALAdmin"},
                  {"file", "\"" + sounds + "admin.wav\""},
                  {"carried", nullptr}},
                 {{"key", "ICQMessage"},
                  {"file", "\"" + sounds + "msg.wav\""},
                  {"carried", "files/msg.wav"}}}}}}}};
        if (contacts) {
            const json contact = {{"name", "contact_1"},
                                  {"closed", true},
                                  {"entries",
                                   {{{"key", "UIN"}, {"value", "4711042"}},
                                    {{"key", "First_Name"}, {"value", "J\u00f6rg"}},
                                    {{"key", "Last_Name"}, {"value", "Wei\u00dfm\u00fcller"}},
                                    {{"key", "Description"}, {"value", "J\u00f6rg aus K\u00f6ln"}},
                                    {{"key", "Nickname"}, {"value", "J\u00f6rg"}},
                                    {{"key", "Email"}, {"value", "joerg@web.de"}}}}};
            const json section = {
                {"name", "CONTACTS"},
                {"closed", true},
                {"entries", {{{"section", contact}}, {{"key", "No_contacts"}, {"value", "1"}}}}};
            json& sections = record["sections"];
            sections.insert(sections.begin() + 3, section);
        }
        return record;
    }

    TempDir dir;
};

// ---- The states of the options panel ----

struct PanelCase {
    const char* name;
    std::function<void(const std::string& root)> setup;
    PanelState state;
    std::function<std::string(const std::string& root)> message;
};

void PrintTo(const PanelCase& c, std::ostream* out) {
    *out << c.name;
}

class PanelStateTest : public WindowTest, public ::testing::WithParamInterface<PanelCase> {};

TEST_P(PanelStateTest, SaysWhatIsWrongAndWhatToDo) {
    const PanelCase& c = GetParam();
    c.setup(root());
    auto window = open(root());
    choosePlugin(*window);
    EXPECT_EQ(window->panelState(), c.state);
    EXPECT_EQ(window->panelMessage().toStdString(), c.message(root()));
    EXPECT_FALSE(button(*window, "importButton")->isEnabled());
    const QDialog* shown = page(*window);
    EXPECT_TRUE(shown == nullptr || !shown->isVisible());
}

void buildSample(const std::string& root, const guitest::SampleInstallation& sample) {
    std::string error;
    ASSERT_TRUE(guitest::buildInstallation(root, sample, error)) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Window, PanelStateTest,
    ::testing::Values(
        PanelCase{"RootMissing", [](const std::string&) {}, PanelState::NoInstallation,
                  [](const std::string& root) {
                      return "This folder cannot be used as a Windows installation:\n" + root +
                             ": not a directory (expected the root of a mounted Windows system "
                             "volume)\n\n" +
                             kInstallHint;
                  }},
        PanelCase{
            "NoWindowsInside",
            [](const std::string& root) { testsupport::writeFile(root + "/Documents/a.txt", "x"); },
            PanelState::NoInstallation,
            [](const std::string& root) {
                return "This folder cannot be used as a Windows installation:\n" + root +
                       ": no Windows installation found (expected "
                       "Windows/System32/config/SOFTWARE or a user profile under Users or "
                       "Documents and Settings)\n\n" +
                       kInstallHint;
            }},
        PanelCase{"IcqNotInstalled",
                  [](const std::string& root) {
                      buildSample(root, {{"Alice"}, false, {}});
                  },
                  PanelState::NothingToImport,
                  [](const std::string& root) {
                      return "ICQ is not installed on this Windows installation (" + root +
                             ", user Alice): its registry names no ICQ program, so there is "
                             "nothing to import.\n\nChoose the Windows installation or the user "
                             "where ICQ was used, above.";
                  }},
        PanelCase{"NoOwners",
                  [](const std::string& root) {
                      buildSample(root, {{"Alice"}, true, {}});
                  },
                  PanelState::NoOwners,
                  [](const std::string&) {
                      return std::string(
                          "ICQ is installed on this Windows installation, but it holds no ICQ "
                          "account to import: no owner file of ICQ could be read.\n\nChoose "
                          "another Windows installation or user above, or start ICQ on that "
                          "system once so that it writes its account files.");
                  }},
        PanelCase{"SeveralUsers",
                  [](const std::string& root) {
                      buildSample(root, {{"Alice", "Bob"}, true, {{"Rover", "111"}}});
                  },
                  PanelState::NoInstallation,
                  [](const std::string&) {
                      return std::string(
                          "This Windows installation has several users (Alice, Bob).\n\n"
                          "Choose the user whose settings are imported in the User box above.");
                  }}),
    [](const ::testing::TestParamInfo<PanelCase>& info) { return std::string(info.param.name); });

TEST_F(WindowTest, NoRootGivenAsksForOne) {
    auto window = open("");
    choosePlugin(*window);
    EXPECT_EQ(window->panelState(), PanelState::NoInstallation);
    EXPECT_EQ(window->panelMessage().toStdString(),
              std::string("No Windows installation chosen yet.\n\n") + kInstallHint);
}

TEST_F(WindowTest, NoPluginSaysWhereItLookedAndWhy) {
    auto window = open(root(), {dir.file("libnothing.so.1")});
    EXPECT_EQ(window->panelState(), PanelState::NoPlugins);
    EXPECT_EQ(window->panelMessage().toStdString(),
              "No plug-in found.\n\nLooked for plug-in libraries in:\n  /opt/plugins\n\n"
              "Install the ICQ importer (libtarvex.so.1) into lib/tolvane/plugins beside this "
              "program, or start tolvane with --plugin PATH.\n\nThese could not be loaded:\n" +
                  dir.file("libnothing.so.1") +
                  ": cannot load the plug-in (cannot open shared object file: No such file or "
                  "directory)");
    // The library that failed is listed, but cannot be chosen.
    auto* list = window->findChild<QListView*>(QStringLiteral("pluginList"));
    ASSERT_EQ(list->model()->rowCount(), 1);
    EXPECT_EQ(list->model()->flags(list->model()->index(0, 0)), Qt::NoItemFlags);
}

TEST_F(WindowTest, ARelativeRootIsTakenFromTheCurrentFolder) {
    buildRover();
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir.path())));
    auto window = open("./C/../C");
    QDir::setCurrent(previous);
    ASSERT_NE(window->session(), nullptr);
    EXPECT_EQ(window->session()->options().windowsRoot, root());
    EXPECT_EQ(window->findChild<QLineEdit*>(QStringLiteral("windowsRoot"))->text().toStdString(),
              root());
}

TEST_F(WindowTest, ChoosingAUserOpensTheInstallation) {
    build({{"Alice", "Bob"}, true, {{"Rover", "111"}}});
    auto window = open(root());
    choosePlugin(*window);
    ASSERT_EQ(window->panelState(), PanelState::NoInstallation);
    auto* users = window->findChild<QComboBox*>(QStringLiteral("userChoice"));
    users->setCurrentIndex(users->findText(QStringLiteral("Alice")));
    EXPECT_EQ(window->panelState(), PanelState::Page);
    EXPECT_EQ(owners(*window), QStringList{QStringLiteral("Rover")});

    // --user chooses without asking, in any case.
    auto bobs = open(root(), {TARVEX_PLUGIN_PATH}, "bob");
    choosePlugin(*bobs);
    EXPECT_EQ(bobs->findChild<QComboBox*>(QStringLiteral("userChoice"))->currentText(),
              QStringLiteral("Bob"));
    ASSERT_NE(bobs->session(), nullptr);
    EXPECT_EQ(bobs->session()->user()->name, "Bob");
    EXPECT_EQ(bobs->panelState(), PanelState::Page);
}

// ---- The plug-in list and the embedded page ----

TEST_F(WindowTest, ListsThePluginAndEmbedsItsPage) {
    buildRover();
    auto window = open(root());
    const QAbstractItemModel* model =
        window->findChild<QListView*>(QStringLiteral("pluginList"))->model();
    const QModelIndex item = model->index(0, 0);
    EXPECT_EQ(item.data(Qt::DisplayRole).toString(), QStringLiteral("ICQ\nICQ Importer Plugin"));
    EXPECT_EQ(item.data(Qt::ToolTipRole).toString(), QStringLiteral("ICQ Instant Messanger"));
    EXPECT_EQ(item.data(Qt::DecorationRole).value<QPixmap>().size(), QSize(16, 16));
    EXPECT_EQ(window->panelState(), PanelState::ChoosePlugin);

    choosePlugin(*window);
    ASSERT_EQ(window->panelState(), PanelState::Page);
    QDialog* shown = page(*window);
    ASSERT_NE(shown, nullptr);
    EXPECT_FALSE(shown->isWindow());
    EXPECT_TRUE(shown->isVisible());
    EXPECT_EQ(shown->pos(), QPoint(0, 0));
    EXPECT_EQ(shown->parentWidget()->objectName(), QStringLiteral("pageHost"));
    // The whole page shows, however far its texts grew it.
    EXPECT_TRUE(shown->parentWidget()->rect().contains(shown->geometry()));
    EXPECT_EQ(owners(*window), QStringList{QStringLiteral("Rover")});
    EXPECT_TRUE(button(*window, "importButton")->isEnabled());
    EXPECT_FALSE(button(*window, "cancelButton")->isEnabled());
    EXPECT_FALSE(button(*window, "saveButton")->isEnabled());
}

TEST_F(WindowTest, ChoosingAnotherPluginHidesThePage) {
    buildRover();
    // The same library twice gives two plug-in objects, each with a page of its own.
    auto window = open(root(), {TARVEX_PLUGIN_PATH, TARVEX_PLUGIN_PATH});
    choosePlugin(*window, 0);
    QPointer<QDialog> first = page(*window);
    ASSERT_NE(first, nullptr);
    choosePlugin(*window, 1);
    ASSERT_EQ(window->panelState(), PanelState::Page);
    const QList<QDialog*> pages = window->findChildren<QDialog*>();
    ASSERT_EQ(pages.size(), 2);
    EXPECT_TRUE(first->isHidden()); // hidden by hideDlg, not only by the panel
    EXPECT_TRUE(pages.at(pages.at(0) == first ? 1 : 0)->isVisible());
    choosePlugin(*window, 0);
    EXPECT_TRUE(first->isVisible());
}

TEST_F(WindowTest, ANewRootGetsAFreshPluginAndPage) {
    buildRover();
    const std::string other = dir.file("D");
    build({{"Carol"}, true, {{"Zed", "222"}}}, other);
    auto window = open(root());
    choosePlugin(*window);
    QPointer<QDialog> first = page(*window);
    ASSERT_EQ(owners(*window), QStringList{QStringLiteral("Rover")});

    window->setWindowsRoot(QString::fromStdString(other));
    EXPECT_TRUE(first.isNull());
    ASSERT_EQ(window->panelState(), PanelState::Page);
    EXPECT_EQ(owners(*window), QStringList{QStringLiteral("Zed")});

    window->setWindowsRoot(QString::fromStdString(dir.file("nowhere")));
    EXPECT_EQ(window->panelState(), PanelState::NoInstallation);
    EXPECT_EQ(page(*window), nullptr);
}

// ---- Imports ----

TEST_F(WindowTest, WholeImportThroughTheWindowThenSave) {
    buildRover();
    auto window = open(root());
    choosePlugin(*window);
    ASSERT_EQ(window->panelState(), PanelState::Page);
    QCheckBox* contacts = pageBox(*window, QStringLiteral("Import Con&tacts"));
    click(contacts);
    ASSERT_FALSE(contacts->isChecked());
    QTest::keyClicks(pagePassword(*window), QStringLiteral("secret"));

    std::vector<int> steps;
    QObject::connect(progress(*window), &QProgressBar::valueChanged,
                     [&steps](int value) { steps.push_back(value); });
    clickCentre(button(*window, "importButton"));

    EXPECT_FALSE(window->running());
    EXPECT_EQ(steps, (std::vector<int>{5, 10, 15, 25, 35, 40, 50, 60}));
    EXPECT_EQ(progress(*window)->maximum(), 60);
    EXPECT_EQ(window->statusText().toStdString(),
              kStatusComplete + root() +
                  "/Program Files/ICQ/Sounds/admin.wav: cannot carry (No such file or directory)");
    EXPECT_EQ(shownSections(*window), (QStringList{"ICQ_FAILURE", "ICQ_IMPORTED_SETTINGS",
                                                   "ICQ_OWNER", "ICQ_SOUNDS_SETTINGS"}));
    EXPECT_EQ(shownEntries(*window, QStringLiteral("ICQ_OWNER")),
              (QStringList{"UIN=111", "Nickname=Rover",
                           QStringLiteral("Password=") + gui::RecordTree::kHiddenValue}));
    const QString sounds = QString::fromStdString(root()) + "/Program Files/ICQ/Sounds/";
    EXPECT_EQ(
        shownEntries(*window, QStringLiteral("ICQ_SOUNDS_SETTINGS")),
        (QStringList{"PlaySound=ICQ_VQX_YES", "ICQALAdmin=" + sounds + "admin.wav|not carried",
                     "ICQMessage=" + sounds + "msg.wav|files/msg.wav"}));

    const QString target = QString::fromStdString(dir.file("saved"));
    QDir().mkpath(target);
    {
        auto answer = answerSaveDialog(target);
        clickCentre(button(*window, "saveButton"));
    }
    EXPECT_EQ(window->statusText(), "Saved record.json and 1 carried file in " + target + ".");
    const std::string saved = dir.file("saved/record.json");
    EXPECT_EQ(json::parse(readFile(saved)), expectedRecord("secret", false));
    EXPECT_EQ(readFile(dir.file("saved/files/msg.wav")),
              readFile(root() + "/" + guitest::kSoundFile));
    struct stat st;
    ASSERT_EQ(stat(saved.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(WindowTest, CancelClickedDuringTheRunStopsIt) {
    buildRover();
    auto window = open(root());
    choosePlugin(*window);
    QTest::keyClicks(pagePassword(*window), QStringLiteral("secret"));
    QPushButton* cancel = button(*window, "cancelButton");
    bool enabledDuringRun = false;
    // The second progress step is where the person clicks Cancel.
    QObject::connect(progress(*window), &QProgressBar::valueChanged, [&](int value) {
        if (value == 10) {
            enabledDuringRun = cancel->isEnabled();
            clickCentre(cancel);
        }
    });
    clickCentre(button(*window, "importButton"));

    EXPECT_TRUE(enabledDuringRun);
    EXPECT_EQ(progress(*window)->value(), 10);
    EXPECT_EQ(window->statusText().toStdString(), kStatusCancelled);
    EXPECT_EQ(shownSections(*window), QStringList{"ICQ_FAILURE"});
    EXPECT_FALSE(cancel->isEnabled());
    EXPECT_TRUE(button(*window, "importButton")->isEnabled());

    // A cancelled run's record can still be saved; it says it is incomplete.
    const QString target = QString::fromStdString(dir.file("partial"));
    ASSERT_TRUE(window->saveTo(target));
    const json saved = json::parse(readFile(dir.file("partial/record.json")));
    EXPECT_EQ(saved["result"], -1);
    EXPECT_EQ(saved["complete"], false);
}

TEST_F(WindowTest, CancelFromATimerWhileTheRunRepaints) {
    buildRover();
    auto window = open(root());
    choosePlugin(*window);
    QTest::keyClicks(pagePassword(*window), QStringLiteral("secret"));
    QTimer::singleShot(0, window.get(), [&] { clickCentre(button(*window, "cancelButton")); });
    clickCentre(button(*window, "importButton"));
    EXPECT_EQ(progress(*window)->value(), 5);
    EXPECT_EQ(window->statusText().toStdString(), kStatusCancelled);
    EXPECT_TRUE(shownSections(*window).isEmpty());
}

TEST_F(WindowTest, PasswordDialogIsParentedOnTheWindow) {
    buildRover();
    auto window = open(root());
    choosePlugin(*window);
    QWidget* parent = nullptr;
    ModalAnswerer answer([&parent](QWidget* modal) {
        parent = modal->parentWidget();
        QTest::keyClicks(modal->findChild<QLineEdit*>(), QStringLiteral("typed"));
        QTest::keyClick(modal->findChild<QLineEdit*>(), Qt::Key_Return);
    });
    clickCentre(button(*window, "importButton"));
    EXPECT_EQ(answer.titles(), QStringList{"ICQ Plugin Request"});
    EXPECT_EQ(parent, window.get());
    ASSERT_TRUE(window->saveTo(QString::fromStdString(dir.file("out"))));
    EXPECT_EQ(json::parse(readFile(dir.file("out/record.json"))), expectedRecord("typed", true));
}

TEST_F(WindowTest, RefusedPasswordShowsTheMessageAndFails) {
    buildRover();
    auto window = open(root());
    choosePlugin(*window);
    QString shown;
    ModalAnswerer answer([&shown](QWidget* modal) {
        if (modal->windowTitle() == QStringLiteral("ICQ Plugin Request")) {
            guitest::clickButton(modal, QStringLiteral("Abort"));
        } else {
            shown = guitest::messageText(modal);
            guitest::clickButton(modal, QStringLiteral("OK"));
        }
    });
    clickCentre(button(*window, "importButton"));
    EXPECT_EQ(answer.titles(), (QStringList{"ICQ Plugin Request", "ICQ"}));
    EXPECT_EQ(shown, QStringLiteral("User password has not been set!"));
    EXPECT_EQ(window->statusText(),
              QStringLiteral("Import failed: ICQ stopped the run (User password has not been "
                             "set!). The record holds what was written until then."));
    EXPECT_EQ(shownEntries(*window, QStringLiteral("ICQ_FAILURE")),
              QStringList{"ICQ_VQX_STATUS=ICQ_VQX_YES"});
}

TEST_F(WindowTest, ClosingDuringARunCancelsItFirst) {
    buildRover();
    auto window = open(root());
    choosePlugin(*window);
    QTest::keyClicks(pagePassword(*window), QStringLiteral("secret"));
    bool stillOpen = false;
    QObject::connect(progress(*window), &QProgressBar::valueChanged, [&](int value) {
        if (value == 5) {
            window->close();
            stillOpen = window->isVisible();
        }
    });
    clickCentre(button(*window, "importButton"));
    EXPECT_TRUE(stillOpen);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->statusText().toStdString(), kStatusCancelled);
}

TEST_F(WindowTest, FailedSaveKeepsTheEarlierRecord) {
    buildRover();
    auto window = open(root());
    choosePlugin(*window);
    QTest::keyClicks(pagePassword(*window), QStringLiteral("secret"));
    clickCentre(button(*window, "importButton"));
    const std::string target = dir.file("busy");
    testsupport::writeFile(target + "/record.json", "earlier");
    testsupport::writeFile(target + "/files", "a file where the folder belongs");
    QString shown;
    ModalAnswerer answer([&shown](QWidget* modal) {
        shown = guitest::messageText(modal);
        guitest::clickButton(modal, QStringLiteral("OK"));
    });
    EXPECT_FALSE(window->saveTo(QString::fromStdString(target)));
    const std::string expected =
        "The record was not saved: " + target +
        "/files: cannot create the folder (Not a directory). record.json in " + target +
        " was left as it was.";
    EXPECT_EQ(shown.toStdString(), expected);
    EXPECT_EQ(window->statusText().toStdString(), expected);
    EXPECT_EQ(readFile(target + "/record.json"), "earlier");
}

} // namespace
