#pragma once

#include <QPointer>
#include <QProgressBar>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "vqrt/hostagent.h"

namespace gui {

/// The window's agent: progress in a QProgressBar that repaints while the plug-in runs,
/// Cancel answered with 32 at the next progress step, messages in message boxes and the
/// window as the parent of the plug-in's dialogs.
class GuiAgent : public CHostAgent {
public:
    /// What stepProgress answers once the user has cancelled.
    static constexpr int kCancelled = 32;
    /// What getWidget is asked for: the parent of a plug-in's modal dialog.
    static constexpr int kDialogParent = 20;

    /// `window` parents the message boxes and the plug-in's dialogs.
    explicit GuiAgent(QWidget* window);

    /// Adds `blocks` to the bar, lets the window handle its events (repaint, a click on
    /// Cancel) and answers 32 when Cancel was clicked, 0 otherwise.
    int stepProgress(int blocks) override;
    /// Shows `text` in a message box titled with the plug-in's name and waits for OK.
    void postMessage(int kind, const char* text) override;
    /// The window for 20, nothing for anything else.
    QWidget* getWidget(int what, int flags) override;
    /// The level in the low byte, the category above it.
    int messageKind(int category, int level) override;

    /// The bar that shows the progress; may be null.
    void setProgressBar(QProgressBar* bar) { bar_ = bar; }
    /// Begins a run of `plugin` that reports `total` blocks: the bar goes back to 0.
    void start(const QString& plugin, int total);
    /// The next progress step answers 32.
    void requestCancel() { cancelRequested_ = true; }
    /// True once Cancel was requested in this run.
    bool cancelRequested() const { return cancelRequested_; }
    /// True once a step answered 32 in this run.
    bool cancelled() const { return cancelled_; }
    /// Blocks reported in this run.
    int done() const { return done_; }
    /// The messages shown in this run, in order.
    const QStringList& messages() const { return messages_; }

private:
    QPointer<QWidget> window_;
    QPointer<QProgressBar> bar_;
    QString plugin_;
    int total_ = 0;
    int done_ = 0;
    bool cancelRequested_ = false;
    bool cancelled_ = false;
    QStringList messages_;
};

} // namespace gui
