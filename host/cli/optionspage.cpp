#include "optionspage.h"

#include <QAbstractButton>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>

namespace cli {

OptionsPage::OptionsPage(QWidget* parent) {
    if (parent == nullptr) {
        return;
    }
    page_ = parent->findChild<QDialog*>(QString(), Qt::FindDirectChildrenOnly);
    if (page_ == nullptr) {
        return;
    }
    // The page is a dialog, which Qt would make a window of its own; the host keeps it inside.
    if (page_->isWindow()) {
        page_->setWindowFlags(Qt::Widget);
    }
    owners_ = page_->findChild<QListWidget*>();
    password_ = page_->findChild<QLineEdit*>();
}

std::string OptionsPage::chosenOwner() const {
    // The page's list keeps each nickname's exact bytes beside the text it shows.
    const QListWidgetItem* item = owners_ != nullptr ? owners_->currentItem() : nullptr;
    return item == nullptr ? std::string() : item->data(Qt::UserRole).toByteArray().toStdString();
}

bool OptionsPage::chooseOwner(const std::string& nickname) {
    for (int i = 0; owners_ != nullptr && i < owners_->count(); ++i) {
        if (owners_->item(i)->data(Qt::UserRole).toByteArray().toStdString() == nickname) {
            owners_->setCurrentRow(i);
            return true;
        }
    }
    return false;
}

QAbstractButton* OptionsPage::button(const QString& text) const {
    for (QAbstractButton* candidate : page_->findChildren<QAbstractButton*>()) {
        if (candidate->text() == text) {
            return candidate;
        }
    }
    return nullptr;
}

void OptionsPage::click(const QString& text) {
    if (QAbstractButton* b = button(text)) {
        b->click();
    }
}

void OptionsPage::typePassword(const std::string& password) {
    if (password_ != nullptr) {
        password_->setText(QString::fromStdString(password));
    }
}

} // namespace cli
