#pragma once

#include <string>

namespace testsupport {

/// Answers the next "ICQ Plugin Request" password dialog once its modal loop runs: types
/// `text` into the field and presses Return (accept) or Abort. Counts the dialogs answered.
void answerPasswordDialog(const std::string& text, bool accept, int* answered = nullptr);

} // namespace testsupport
