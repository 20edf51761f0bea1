#include "passwordanswer.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

namespace cli {

namespace {

const QString kTitle = QStringLiteral("ICQ Plugin Request");

} // namespace

PasswordAnswer::PasswordAnswer(Asker ask, QObject* parent)
    : QObject(parent), ask_(std::move(ask)) {}

bool PasswordAnswer::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show) {
        auto* dialog = qobject_cast<QDialog*>(watched);
        if (dialog != nullptr && dialog->windowTitle() == kTitle) {
            // Answer from inside the dialog's own modal loop, once it runs.
            QPointer<QDialog> guard(dialog);
            QTimer::singleShot(0, this, [this, guard] {
                if (guard != nullptr && guard->isVisible()) {
                    answer(guard);
                }
            });
        }
    }
    return QObject::eventFilter(watched, event);
}

void PasswordAnswer::answer(QWidget* dialog) {
    ++answered_;
    const std::optional<std::string> password = ask_();
    auto* field = dialog->findChild<QLineEdit*>();
    if (!password || field == nullptr) {
        for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
            if (button->text() == QStringLiteral("&Abort")) {
                button->click();
                return;
            }
        }
        return;
    }
    field->setText(QString::fromStdString(*password));
    // Return in the field accepts, also an empty password.
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(field, &press);
}

} // namespace cli
