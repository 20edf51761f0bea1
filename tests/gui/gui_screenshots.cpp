// Renders the main window for the documentation, offscreen:
//   gui_screenshots <outdir> <windows-root> <plugin> <password>
// writes <outdir>/main-window.png (the ICQ plug-in chosen, its page embedded) and, after an
// import by tolvane-import, one picture of each page: import-summary.png, import-contacts.png,
// import-messages.png, import-sounds.png and import-record.png; then, with the installation's
// ICQ folder as the root, icq-folder.png (its databases listed) and icq-folder-summary.png
// (one read by tolvane-icq); last, saved-import.png: the import saved, opened in a new window.

#include <cstdio>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include "commandline.h"
#include "mainwindow.h"
#include "support/dialoganswer.h"

namespace {

bool save(QWidget& window, const QDir& dir, const char* file) {
    QApplication::processEvents();
    const QString path = dir.filePath(QString::fromLatin1(file));
    if (!window.grab().save(path, "PNG")) {
        std::fprintf(stderr, "gui_screenshots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr,
                     "usage: gui_screenshots <outdir> <windows-root> <plugin> <password>\n");
        return 2;
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "gui_screenshots: cannot create %s\n", argv[1]);
        return 1;
    }
    gui::CommandLine options;
    options.host.windowsRoot = argv[2];
    options.plugins = {argv[3]};
    options.importer = TOLVANE_IMPORT_PATH;
    options.icqReader = TOLVANE_ICQ_PATH;
    const QString password = QString::fromLocal8Bit(argv[4]);

    gui::MainWindow window(options, options.plugins, options.plugins);
    window.show();

    auto* list = window.findChild<QListView*>(QStringLiteral("pluginList"));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(0, 0)).center());
    if (window.panelState() != gui::PanelState::Page) {
        std::fprintf(stderr, "gui_screenshots: no options page: %s\n",
                     qPrintable(window.panelMessage()));
        return 1;
    }
    if (!save(window, dir, "main-window.png")) {
        return 1;
    }

    // What may open during the run (a message box) is answered.
    const testsupport::ModalAnswer answers(
        [](QWidget* modal) { testsupport::clickButton(modal, QStringLiteral("OK")); });
    // The demo's owner, with sounds of his own.
    auto* owners = window.findChild<QListWidget*>(QStringLiteral("m_pWinUsersList"));
    owners->setCurrentItem(owners->findItems(QStringLiteral("Rover"), Qt::MatchExactly).value(0));
    for (auto* button : window.findChild<QDialog*>()->findChildren<QAbstractButton*>()) {
        if (button->text() == QStringLiteral("Customi&zed")) {
            button->click();
        }
    }
    if (auto* field = window.findChild<QDialog*>()->findChild<QLineEdit*>()) {
        QTest::keyClicks(field, password);
    }
    QSignalSpy finished(&window, &gui::MainWindow::importFinished);
    window.findChild<QPushButton*>(QStringLiteral("importButton"))->click();
    if (!finished.wait(60000)) {
        std::fprintf(stderr, "gui_screenshots: the import did not finish\n");
        return 1;
    }

    auto* pages = window.findChild<QTabWidget*>(QStringLiteral("resultPages"));
    // A conversation with some back and forth, and the contacts by name.
    auto* conversations = window.findChild<QListWidget*>(QStringLiteral("conversationList"));
    conversations->setCurrentRow(std::min(2, conversations->count() - 1));
    // A message with more to it than its row shows, read whole below the list.
    auto* messages = window.findChild<QTreeView*>(QStringLiteral("messageList"));
    messages->setCurrentIndex(
        messages->model()->index(std::min(7, messages->model()->rowCount() - 1), 0));
    const std::pair<const char*, const char*> shots[] = {{"summaryPage", "import-summary.png"},
                                                         {"contactsPage", "import-contacts.png"},
                                                         {"messagesPage", "import-messages.png"},
                                                         {"soundsPage", "import-sounds.png"},
                                                         {"recordTree", "import-record.png"}};
    // The contact list open, with a contact whose database fields are partly empty.
    auto* record = window.findChild<QTreeWidget*>(QStringLiteral("recordTree"));
    for (int i = 0; i < record->topLevelItemCount(); ++i) {
        QTreeWidgetItem* section = record->topLevelItem(i);
        section->setExpanded(section->text(0) == QStringLiteral("CONTACTS"));
        for (int j = 0; section->isExpanded() && j < section->childCount(); ++j) {
            section->child(j)->setExpanded(j == 0);
        }
    }
    for (const auto& [page, file] : shots) {
        pages->setCurrentWidget(pages->findChild<QWidget*>(QString::fromLatin1(page)));
        if (!save(window, dir, file)) {
            return 1;
        }
    }

    QTemporaryDir saved;
    if (!saved.isValid() || !window.saveTo(saved.path())) {
        std::fprintf(stderr, "gui_screenshots: the import was not saved: %s\n",
                     qPrintable(window.statusText()));
        return 1;
    }

    // The ICQ folder alone, as people who kept only that folder have it.
    window.setWindowsRoot(QString::fromLocal8Bit(argv[2]) + QStringLiteral("/Program Files/ICQ"));
    if (window.panelState() != gui::PanelState::IcqFolder || !save(window, dir, "icq-folder.png")) {
        std::fprintf(stderr, "gui_screenshots: the ICQ folder is not listed: %s\n",
                     qPrintable(window.panelMessage()));
        return 1;
    }
    window.findChild<QPushButton*>(QStringLiteral("importButton"))->click();
    if (!finished.wait(60000)) {
        std::fprintf(stderr, "gui_screenshots: the ICQ folder was not read\n");
        return 1;
    }
    if (!save(window, dir, "icq-folder-summary.png")) {
        return 1;
    }

    options.openFolder = saved.path().toStdString();
    gui::MainWindow reopened(options, options.plugins, options.plugins);
    reopened.show();
    return save(reopened, dir, "saved-import.png") ? 0 : 1;
}
