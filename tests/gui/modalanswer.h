#pragma once

#include <functional>
#include <memory>

#include <QString>
#include <QStringList>

class QTimer;
class QWidget;

namespace guitest {

/// While it lives, hands each modal window that opens (password dialog, message box, file
/// dialog) once to `answer`, from a timer, so that no test waits on one.
class ModalAnswerer {
public:
    using Answer = std::function<void(QWidget* modal)>;

    explicit ModalAnswerer(Answer answer);
    ~ModalAnswerer();
    ModalAnswerer(const ModalAnswerer&) = delete;
    ModalAnswerer& operator=(const ModalAnswerer&) = delete;

    /// The window titles of the modal windows answered, in order.
    const QStringList& titles() const { return titles_; }

private:
    std::unique_ptr<QTimer> timer_;
    QStringList titles_;
};

/// Clicks the button of `modal` whose text, without '&', is `text`; false when none has it.
bool clickButton(QWidget* modal, const QString& text);

/// The text a QMessageBox shows; empty for other windows.
QString messageText(QWidget* modal);

} // namespace guitest
