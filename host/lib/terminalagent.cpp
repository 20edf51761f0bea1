#include "terminalagent.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>

#include "text/printable.h"

namespace vqrt {

namespace {

const int kCancelled = 32;
const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previousHandlers[std::size(kStopSignals)];

// Static: with C linkage it would be exported under its bare name, which a function of that
// name in a program would take the place of.
extern "C" {
static void onStopSignal(int signal) {
    TerminalAgent::stopSignal().store(signal);
}
}

} // namespace

std::atomic<int>& TerminalAgent::stopSignal() {
    static std::atomic<int> signal{0};
    return signal;
}

TerminalAgent::TerminalAgent(int total, std::FILE* out, const std::string& pluginName)
    : total_(std::max(total, 1)), out_(out), pluginName_(pluginName),
      terminal_(isatty(fileno(out)) != 0) {
    stopSignal().store(0);
}

TerminalAgent::~TerminalAgent() {
    finishLine();
    for (size_t i = 0; handlerInstalled_ && i < std::size(kStopSignals); ++i) {
        sigaction(kStopSignals[i], &previousHandlers[i], nullptr);
    }
}

void TerminalAgent::catchStopSignals() {
    if (handlerInstalled_) {
        return;
    }
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(kStopSignals); ++i) {
        sigaction(kStopSignals[i], &action, &previousHandlers[i]);
    }
    handlerInstalled_ = true;
}

int TerminalAgent::stepProgress(int blocks) {
    if (stopSignal().load() != 0) {
        cancelled_ = true;
        finishLine();
        std::fprintf(out_, "%s: cancelled\n", pluginName_.c_str());
        return kCancelled;
    }
    done_ += std::max(blocks, 0);
    draw();
    return 0;
}

void TerminalAgent::draw() {
    if (!progressShown_) {
        return;
    }
    const int shown = std::min(done_, total_);
    const int percent = shown * 100 / total_;
    if (machine_) {
        std::fprintf(out_, "progress %d %d\n", shown, total_);
        return;
    }
    if (!terminal_) {
        std::fprintf(out_, "%s: progress %d/%d (%d%%)\n", pluginName_.c_str(), shown, total_,
                     percent);
        return;
    }
    const int width = 30;
    const int filled = shown * width / total_;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(width - filled), '.');
    std::fprintf(out_, "\r%s: [%s] %3d%%", pluginName_.c_str(), bar.c_str(), percent);
    std::fflush(out_);
    lineOpen_ = true;
}

void TerminalAgent::finishLine() {
    if (lineOpen_) {
        std::fputc('\n', out_);
        std::fflush(out_);
        lineOpen_ = false;
    }
}

void TerminalAgent::postMessage(int, const char* text) {
    finishLine();
    const std::string shown = text::printable(text == nullptr ? "" : text);
    if (machine_) {
        std::fprintf(out_, "message %s\n", shown.c_str());
    } else {
        std::fprintf(out_, "%s: %s\n", pluginName_.c_str(), shown.c_str());
    }
    std::fflush(out_);
}

QWidget* TerminalAgent::getWidget(int, int) {
    return widget_;
}

int TerminalAgent::messageKind(int category, int level) {
    return category | level;
}

} // namespace vqrt
