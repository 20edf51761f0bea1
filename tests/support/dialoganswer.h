#pragma once

#include <functional>
#include <memory>
#include <string>

#include <QString>
#include <QStringList>

class QTimer;
class QWidget;

namespace testsupport {

/// While it lives, hands each modal window that opens (password dialog, message box, file
/// dialog) once to `answer`, from a timer, so that no test waits on one. With a `title`, only
/// windows of that title are answered.
class ModalAnswer {
public:
    using Answer = std::function<void(QWidget* modal)>;

    explicit ModalAnswer(Answer answer, QString title = {});
    ~ModalAnswer();
    ModalAnswer(const ModalAnswer&) = delete;
    ModalAnswer& operator=(const ModalAnswer&) = delete;

    /// The titles of the windows answered, in order.
    const QStringList& titles() const { return titles_; }
    /// How many windows were answered.
    int answered() const { return static_cast<int>(titles_.size()); }

private:
    std::unique_ptr<QTimer> timer_;
    QStringList titles_;
};

/// Answers every "ICQ Plugin Request" password dialog: types `text` and presses Return
/// (accept), or clicks Abort.
class PasswordDialogAnswer : public ModalAnswer {
public:
    PasswordDialogAnswer(std::string text, bool accept);
};

/// Clicks the button of `modal` whose text, without '&', is `text`; false when none has it.
bool clickButton(QWidget* modal, const QString& text);

/// The text a QMessageBox shows; empty for other windows.
QString messageText(QWidget* modal);

} // namespace testsupport
