#include "drivesrow.h"

#include <QDir>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>

#include "folderdialog.h"

namespace gui {

DrivesRow::DrivesRow(std::map<char, std::string> drives, QWidget* parent)
    : QWidget(parent), drives_(std::move(drives)) {
    label_ = new QLabel(this);
    label_->setObjectName(QStringLiteral("drives"));
    label_->setWordWrap(true);
    add_ = new QPushButton(tr("Add dri&ve\u2026"), this);
    add_->setObjectName(QStringLiteral("addDrive"));
    connect(add_, &QPushButton::clicked, this, &DrivesRow::add);
    clear_ = new QPushButton(tr("Clear"), this);
    clear_->setObjectName(QStringLiteral("clearDrives"));
    connect(clear_, &QPushButton::clicked, this, [this] {
        forget();
        emit changed();
    });
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label_, 1);
    layout->addWidget(add_);
    layout->addWidget(clear_);
    showDrives();
}

void DrivesRow::forget() {
    drives_.clear();
    showDrives();
}

void DrivesRow::setLocked(bool locked) {
    locked_ = locked;
    add_->setEnabled(!locked);
    clear_->setEnabled(!locked);
}

void DrivesRow::add() {
    QStringList letters;
    for (char letter = 'D'; letter <= 'Z'; ++letter) {
        if (drives_.count(letter) == 0) {
            letters << QStringLiteral("%1:").arg(QLatin1Char(letter));
        }
    }
    QInputDialog ask(this);
    ask.setObjectName(QStringLiteral("driveLetter"));
    ask.setWindowTitle(tr("Add drive"));
    ask.setLabelText(tr("The letter the drive had on the old Windows:"));
    ask.setComboBoxItems(letters);
    ask.setTextValue(QStringLiteral("%1:").arg(QLatin1Char(offered_)));
    if (ask.exec() != QDialog::Accepted || locked_ || ask.textValue().isEmpty()) {
        return;
    }
    const char letter = ask.textValue().at(0).toLatin1();
    const QString folder = chooseFolder(
        this, tr("Choose the folder where drive %1: is mounted").arg(QLatin1Char(letter)),
        QDir::homePath(), "driveFolder");
    if (folder.isEmpty() || locked_) {
        return;
    }
    drives_[letter] = folder.toStdString();
    showDrives();
    emit changed();
}

void DrivesRow::showDrives() {
    QStringList shown;
    for (const auto& [letter, folder] : drives_) {
        shown << QStringLiteral("%1: %2").arg(QChar(QLatin1Char(letter)),
                                              QString::fromStdString(folder));
    }
    label_->setText(shown.isEmpty() ? tr("none besides C:") : shown.join(QStringLiteral(", ")));
    clear_->setVisible(!shown.isEmpty());
}

} // namespace gui
