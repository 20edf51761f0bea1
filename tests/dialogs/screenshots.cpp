// Renders the options page and the password dialog into PNG files for the documentation:
//   dialog_screenshots <outdir>   writes <outdir>/options-page.png and <outdir>/password-dialog.png

#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QtTest/QTest>

#include "dialogs/optionsdlg.h"
#include "dialogs/passworddlg.h"

namespace {

bool save(QWidget& widget, const QDir& dir, const char* file) {
    widget.show();
    QApplication::processEvents();
    const QString path = dir.filePath(QString::fromLatin1(file));
    if (!widget.grab().save(path, "PNG")) {
        std::fprintf(stderr, "dialog_screenshots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

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
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "dialog_screenshots: cannot create %s\n", argv[1]);
        return 1;
    }

    COptionsDlg options(nullptr, nullptr);
    options.insertWinUser("Alice", true);
    options.insertWinUser("Bob", false);
    options.selectFirstProfile();

    CPasswordDlg password(nullptr, nullptr, true, 0);
    password.show();
    QTest::keyClicks(password.findChild<QLineEdit*>(QStringLiteral("m_pPasswordEditBox")),
                     QStringLiteral("secret"));

    const bool saved =
        save(options, dir, "options-page.png") && save(password, dir, "password-dialog.png");
    return saved ? 0 : 1;
}
