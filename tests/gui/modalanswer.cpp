#include "modalanswer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

namespace guitest {

ModalAnswerer::ModalAnswerer(Answer answer) : timer_(std::make_unique<QTimer>()) {
    timer_->setInterval(5);
    QObject::connect(timer_.get(), &QTimer::timeout, [this, answer] {
        QPointer<QWidget> modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal->property("guitest-answered").toBool()) {
            return;
        }
        modal->setProperty("guitest-answered", true);
        titles_.append(modal->windowTitle());
        answer(modal);
    });
    timer_->start();
}

ModalAnswerer::~ModalAnswerer() = default;

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

} // namespace guitest
