#include "guiagent.h"

#include <QMessageBox>

namespace gui {

namespace {

// Levels from here up are warnings; below, information.
constexpr int kWarningLevel = 50;

} // namespace

GuiAgent::GuiAgent(QWidget* window) : window_(window) {}

int GuiAgent::stepProgress(int) {
    return 0;
}

void GuiAgent::postMessage(int kind, const char* text) {
    QMessageBox box((kind & 0xff) >= kWarningLevel ? QMessageBox::Warning
                                                   : QMessageBox::Information,
                    QStringLiteral("Tolvane"), QString::fromUtf8(text == nullptr ? "" : text),
                    QMessageBox::Ok, window_);
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
