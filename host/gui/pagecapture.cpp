#include "pagecapture.h"

#include <QAbstractButton>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>

namespace gui {

QByteArray capturePage(const QWidget* page, const QLineEdit* passwordField,
                       const QString* password) {
    QJsonArray buttons;
    for (const QAbstractButton* button : page->findChildren<QAbstractButton*>()) {
        buttons.append(QJsonObject{{QStringLiteral("name"), button->objectName()},
                                   {QStringLiteral("text"), button->text()},
                                   {QStringLiteral("checked"), button->isChecked()},
                                   {QStringLiteral("enabled"), button->isEnabled()}});
    }
    QJsonArray lists;
    for (const QListWidget* list : page->findChildren<QListWidget*>()) {
        if (const QListWidgetItem* item = list->currentItem()) {
            lists.append(QJsonObject{{QStringLiteral("name"), list->objectName()},
                                     {QStringLiteral("current"), item->text()}});
        }
    }
    QJsonArray edits;
    for (const QLineEdit* edit : page->findChildren<QLineEdit*>()) {
        const bool given = edit == passwordField && password != nullptr;
        edits.append(QJsonObject{{QStringLiteral("name"), edit->objectName()},
                                 {QStringLiteral("text"), given ? *password : edit->text()}});
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("buttons"), buttons},
                                     {QStringLiteral("lists"), lists},
                                     {QStringLiteral("lineEdits"), edits}})
        .toJson(QJsonDocument::Compact);
}

QLineEdit* passwordField(const QWidget* page) {
    for (QLineEdit* edit : page->findChildren<QLineEdit*>()) {
        if (edit->echoMode() == QLineEdit::Password) {
            return edit;
        }
    }
    return nullptr;
}

} // namespace gui
