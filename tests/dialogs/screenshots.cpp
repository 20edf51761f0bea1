// Renders the options page and the password dialog into PNG files for the documentation:
//   dialog_screenshots <outdir>   writes <outdir>/options-page.png and <outdir>/password-dialog.png

#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QLineEdit>

#include "dialogs/optionsdlg.h"
#include "dialogs/passworddlg.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: dialog_screenshots <outdir>\n");
        return 2;
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    COptionsDlg options(nullptr, nullptr);
    options.insertWinUser("Alice", true);
    options.insertWinUser("Bob", false);
    options.selectFirstProfile();
    CPasswordDlg password(nullptr, nullptr, true, 0);
    password.findChild<QLineEdit*>(QStringLiteral("m_pPasswordEditBox"))->setText("secret");
    for (const auto& [widget, file] :
         {std::pair<QWidget*, const char*>{&options, "options-page.png"},
          {&password, "password-dialog.png"}}) {
        widget->show();
        const QString path = dir.filePath(QString::fromLatin1(file));
        if (!dir.mkpath(QStringLiteral(".")) || !widget->grab().save(path, "PNG")) {
            std::fprintf(stderr, "dialog_screenshots: cannot write %s\n", qPrintable(path));
            return 1;
        }
        std::printf("%s\n", qPrintable(path));
    }
    return 0;
}
