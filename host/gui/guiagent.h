#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include "vqrt/hostagent.h"

namespace gui {

/// The window's agent for what the plug-in does inside the window (finding its program and
/// filling its options page; the import itself runs in tolvane-import): messages in message
/// boxes and the window as the parent of the plug-in's dialogs.
class GuiAgent : public CHostAgent {
public:
    /// What getWidget is asked for: the parent of a plug-in's modal dialog.
    static constexpr int kDialogParent = 20;

    /// `window` parents the message boxes and the plug-in's dialogs.
    explicit GuiAgent(QWidget* window);

    /// Nothing runs in steps inside the window: always 0.
    int stepProgress(int blocks) override;
    /// Shows `text` in a message box and waits for OK.
    void postMessage(int kind, const char* text) override;
    /// The window for 20, nothing for anything else.
    QWidget* getWidget(int what, int flags) override;
    /// The level in the low byte, the category above it.
    int messageKind(int category, int level) override;

private:
    QPointer<QWidget> window_;
};

} // namespace gui
