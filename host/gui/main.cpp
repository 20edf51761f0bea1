#include <cstdio>

#include <QApplication>

#include "commandline.h"
#include "mainwindow.h"

int main(int argc, char** argv) {
    gui::CommandLine options;
    std::string message;
    // The arguments are read before Qt starts, so --help and mistakes need no display.
    switch (gui::parseCommandLine(argc, argv, options, message)) {
    case gui::ParseOutcome::Help:
        std::fputs(message.c_str(), stdout);
        return 0;
    case gui::ParseOutcome::Error:
        std::fprintf(stderr, "%s\n", message.c_str());
        return 2;
    case gui::ParseOutcome::Run:
        break;
    }
    // Qt gets none of the arguments: it would take --plugin as its own.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    // The last Windows root and output folder are kept in ~/.config/tolvane/tolvane.conf.
    QApplication::setOrganizationName(QStringLiteral("tolvane"));
    QApplication::setApplicationName(QStringLiteral("tolvane"));
    // Wayland desktops match the window to its menu entry, tolvane.desktop, by this name.
    QApplication::setDesktopFileName(QStringLiteral("tolvane"));
    const std::vector<std::string> searched =
        options.plugins.empty() ? gui::defaultPluginFolders(gui::programDir()) : options.plugins;
    gui::MainWindow window(options, gui::findPlugins(options.plugins, searched), searched);
    window.show();
    return QApplication::exec();
}
