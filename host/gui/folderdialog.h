#pragma once

#include <QFileDialog>
#include <QString>

namespace gui {

/// Asks for a folder in Qt's own dialog (the same on every desktop, and one in which a new
/// folder can be made), named `name` for the tests; `forSaving` for a folder to write into.
/// Empty when the person cancelled.
inline QString chooseFolder(QWidget* parent, const QString& title, const QString& start,
                            const char* name, bool forSaving = false) {
    QFileDialog dialog(parent, title, start);
    dialog.setObjectName(QString::fromLatin1(name));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (forSaving) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
    }
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

} // namespace gui
