// Renders the main window for the documentation, offscreen:
//   gui_screenshots <outdir> <windows-root> <plugin> <password>
// writes <outdir>/main-window.png (the ICQ plug-in chosen, its page embedded) and
// <outdir>/main-window-after-import.png (after an import, the record shown).

#include <cstdio>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTest>

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
    const QString password = QString::fromLocal8Bit(argv[4]);

    gui::MainWindow window(options, options.plugins, options.plugins);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "gui_screenshots: the window was not shown\n");
        return 1;
    }

    // An installation with several users: take the first, as a person would choose one.
    auto* users = window.findChild<QComboBox*>(QStringLiteral("userChoice"));
    if (window.panelState() != gui::PanelState::Page && users->count() > 1 &&
        users->currentData().toString().isEmpty()) {
        users->setCurrentIndex(1);
    }
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

    // What may open during the run (a message box, the password dialog) is answered.
    const testsupport::ModalAnswer answers([&password](QWidget* modal) {
        std::fprintf(stderr, "gui_screenshots: answered \"%s\"\n",
                     qPrintable(modal->windowTitle()));
        if (!testsupport::clickButton(modal, QStringLiteral("OK"))) {
            QTest::keyClicks(modal->findChild<QLineEdit*>(), password);
            QTest::keyClick(modal->findChild<QLineEdit*>(), Qt::Key_Return);
        }
    });
    if (auto* field = window.findChild<QDialog*>()->findChild<QLineEdit*>()) {
        QTest::keyClicks(field, password);
    }
    window.findChild<QPushButton*>(QStringLiteral("importButton"))->click();
    std::fprintf(stderr, "gui_screenshots: %s\n", qPrintable(window.statusText()));
    return save(window, dir, "main-window-after-import.png") ? 0 : 1;
}
