#pragma once

#include <memory>
#include <string>

class QTimer;

namespace testsupport {

/// While it lives, answers every "ICQ Plugin Request" password dialog once its modal loop
/// runs: types `text` into the field and presses Return (accept) or Abort.
class PasswordDialogAnswer {
public:
    PasswordDialogAnswer(std::string text, bool accept);
    ~PasswordDialogAnswer();
    PasswordDialogAnswer(const PasswordDialogAnswer&) = delete;
    PasswordDialogAnswer& operator=(const PasswordDialogAnswer&) = delete;

    /// How many dialogs were answered.
    int answered() const { return answered_; }

private:
    std::unique_ptr<QTimer> timer_;
    int answered_ = 0;
};

} // namespace testsupport
