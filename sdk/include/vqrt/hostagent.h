#pragma once

class QWidget;

/// The host's side of a running import: progress, messages to the user and a parent widget.
class CHostAgent {
public:
    virtual ~CHostAgent() {}
    /// Advances the progress by `blocks`; answers 32 when the user has cancelled.
    virtual int stepProgress(int blocks) = 0;
    /// Hands `text` to the host for the user; `kind` comes from messageKind().
    virtual void postMessage(int kind, const char* text) = 0;
    /// A widget of the host's; what 20 is the parent for a plug-in's modal dialog.
    virtual QWidget* getWidget(int what, int flags) = 0;
    /// The message kind for a category and level, for postMessage().
    virtual int messageKind(int category, int level) = 0;
};
