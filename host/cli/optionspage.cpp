#include "optionspage.h"

#include <QAbstractButton>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>

#include "text/printable.h"

namespace cli {

namespace {

QString withoutCarriageReturn(QString text) {
    if (text.endsWith(QLatin1Char('\r'))) {
        text.chop(1);
    }
    return text;
}

} // namespace

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

std::vector<QString> OptionsPage::owners() const {
    std::vector<QString> names;
    for (int i = 0; owners_ != nullptr && i < owners_->count(); ++i) {
        names.push_back(withoutCarriageReturn(owners_->item(i)->text()));
    }
    return names;
}

std::string OptionsPage::chosenOwner() const {
    // The page's list keeps each nickname's exact bytes beside the text it shows.
    const QListWidgetItem* item = owners_ != nullptr ? owners_->currentItem() : nullptr;
    return item == nullptr ? std::string() : item->data(Qt::UserRole).toByteArray().toStdString();
}

bool OptionsPage::chooseOwner(const std::string& nickname) {
    const QString wanted = withoutCarriageReturn(QString::fromStdString(nickname));
    for (int i = 0; owners_ != nullptr && i < owners_->count(); ++i) {
        const QString name = withoutCarriageReturn(owners_->item(i)->text());
        // --list prints control characters escaped; that form names the owner too.
        if (name == wanted || text::printable(name.toStdString()) == nickname) {
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
