#include "support/dialoganswer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

namespace testsupport {

ModalAnswer::ModalAnswer(Answer answer, QString title) : timer_(std::make_unique<QTimer>()) {
    timer_->setInterval(5);
    QObject::connect(timer_.get(), &QTimer::timeout, [this, answer, title] {
        QPointer<QWidget> modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal->property("testsupport-answered").toBool() ||
            (!title.isEmpty() && modal->windowTitle() != title)) {
            return;
        }
        modal->setProperty("testsupport-answered", true);
        titles_.append(modal->windowTitle());
        answer(modal);
    });
    timer_->start();
}

ModalAnswer::~ModalAnswer() = default;

PasswordDialogAnswer::PasswordDialogAnswer(std::string text, bool accept)
    : ModalAnswer(
          [text, accept](QWidget* modal) {
              if (!accept) {
                  clickButton(modal, QStringLiteral("Abort"));
                  return;
              }
              auto* field = modal->findChild<QLineEdit*>();
              QTest::keyClicks(field, QString::fromStdString(text));
              QTest::keyClick(field, Qt::Key_Return);
          },
          QStringLiteral("ICQ Plugin Request")) {}

bool clickButton(QWidget* modal, const QString& text) {
    for (auto* button : modal->findChildren<QAbstractButton*>()) {
        if (button->text().remove(QLatin1Char('&')) == text && button->isVisible()) {
            button->click();
            return true;
        }
    }
    return false;
}

QString messageText(QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    return box != nullptr ? box->text() : QString();
}

} // namespace testsupport
