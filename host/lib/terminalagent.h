#pragma once

#include <signal.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "vqrt/hostagent.h"

namespace vqrt {

/// The command-line host's agent: a progress bar on a terminal (plain lines otherwise),
/// messages as "ICQ: <text>", and a stop signal (Ctrl-C, SIGTERM, SIGHUP) answered with 32 at
/// the next progress step.
class TerminalAgent : public CHostAgent {
public:
    /// `total` is the plug-in's block count; `out` receives progress and messages.
    TerminalAgent(int total, std::FILE* out, const std::string& pluginName = "ICQ");
    ~TerminalAgent() override;
    TerminalAgent(const TerminalAgent&) = delete;
    TerminalAgent& operator=(const TerminalAgent&) = delete;

    int stepProgress(int blocks) override;
    void postMessage(int kind, const char* text) override;
    QWidget* getWidget(int what, int flags) override;
    int messageKind(int category, int level) override;

    /// The parent the plug-in gets for its dialogs.
    void setWidget(QWidget* widget) { widget_ = widget; }
    /// With `machine`, progress is "progress DONE TOTAL" and messages "message TEXT", one line
    /// each, so that a program reading them cannot take a message for progress.
    void setLineForm(bool machine) { machine_ = machine; }
    /// With false, progress is not shown at all (messages still are).
    void showProgress(bool shown) { progressShown_ = shown; }
    /// Until destruction, SIGINT, SIGTERM and SIGHUP only note that the run is to stop; the
    /// next step answers 32. Interrupted system calls are not restarted, so waits notice them.
    void catchStopSignals();
    /// As if Ctrl-C had been pressed.
    void requestCancel() { stopSignal().store(SIGINT); }
    bool cancelled() const { return cancelled_; }
    int done() const { return done_; }
    /// Ends a progress bar line that is still open.
    void finishLine();

    /// The signal that asked the run to stop, or 0; a new agent sets it to 0.
    static std::atomic<int>& stopSignal();

private:
    void draw();

    int total_;
    int done_ = 0;
    std::FILE* out_;
    std::string pluginName_;
    bool terminal_;
    bool lineOpen_ = false;
    bool machine_ = false;
    bool progressShown_ = true;
    bool cancelled_ = false;
    bool handlerInstalled_ = false;
    QWidget* widget_ = nullptr;
};

} // namespace vqrt
