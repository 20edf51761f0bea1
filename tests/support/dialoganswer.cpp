#include "support/dialoganswer.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace testsupport {

void answerPasswordDialog(const std::string& text, bool accept, int* answered) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, text, accept, answered] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal->windowTitle() != QStringLiteral("ICQ Plugin Request")) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        if (answered != nullptr) {
            ++*answered;
        }
        auto* field = modal->findChild<QLineEdit*>();
        if (accept) {
            QTest::keyClicks(field, QString::fromStdString(text));
            QTest::keyClick(field, Qt::Key_Return);
            return;
        }
        for (auto* button : modal->findChildren<QPushButton*>()) {
            if (button->text() == QStringLiteral("&Abort")) {
                button->click();
            }
        }
    });
    timer->start();
}

} // namespace testsupport
