#include "guiagent.h"

#include <algorithm>

#include <QCoreApplication>
#include <QMessageBox>
#include <QProgressBar>
#include <QWidget>

namespace gui {

namespace {

// Levels from here up are warnings; below, information.
constexpr int kWarningLevel = 50;

} // namespace

GuiAgent::GuiAgent(QWidget* window) : window_(window) {}

void GuiAgent::start(const QString& plugin, int total) {
    plugin_ = plugin;
    total_ = std::max(total, 0);
    done_ = 0;
    cancelRequested_ = false;
    cancelled_ = false;
    messages_.clear();
    if (bar_ != nullptr) {
        bar_->setRange(0, std::max(total_, 1));
        bar_->setValue(0);
    }
}

int GuiAgent::stepProgress(int blocks) {
    done_ += std::max(blocks, 0);
    if (bar_ != nullptr) {
        bar_->setValue(std::min(done_, bar_->maximum()));
    }
    // The run holds the GUI thread: this is where the bar repaints and Cancel gets its click.
    QCoreApplication::processEvents();
    if (cancelRequested_) {
        cancelled_ = true;
        return kCancelled;
    }
    return 0;
}

void GuiAgent::postMessage(int kind, const char* text) {
    const QString message = QString::fromUtf8(text == nullptr ? "" : text);
    messages_.append(message);
    QMessageBox box(
        (kind & 0xff) >= kWarningLevel ? QMessageBox::Warning : QMessageBox::Information,
        plugin_.isEmpty() ? QStringLiteral("Tolvane") : plugin_, message, QMessageBox::Ok, window_);
    box.setObjectName(QStringLiteral("pluginMessage"));
    box.exec();
}

QWidget* GuiAgent::getWidget(int what, int) {
    return what == kDialogParent ? window_.data() : nullptr;
}

int GuiAgent::messageKind(int category, int level) {
    return category | (level & 0xff);
}

} // namespace gui
