#include "support/dialoganswer.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace testsupport {

PasswordDialogAnswer::PasswordDialogAnswer(std::string text, bool accept)
    : timer_(std::make_unique<QTimer>()) {
    timer_->setInterval(5);
    QObject::connect(timer_.get(), &QTimer::timeout, [this, text, accept] {
        QPointer<QWidget> modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal->windowTitle() != QStringLiteral("ICQ Plugin Request") ||
            modal->property("testsupport-answered").toBool()) {
            return;
        }
        modal->setProperty("testsupport-answered", true);
        ++answered_;
        auto* field = modal->findChild<QLineEdit*>();
        if (accept) {
            QTest::keyClicks(field, QString::fromStdString(text));
            QTest::keyClick(field, Qt::Key_Return);
            return;
        }
        for (auto* button : modal->findChildren<QPushButton*>()) {
            if (button->text() == QStringLiteral("&Abort")) {
                button->click();
                return;
            }
        }
    });
    timer_->start();
}

PasswordDialogAnswer::~PasswordDialogAnswer() = default;

} // namespace testsupport
