#pragma once

#include <QByteArray>
#include <QString>

class QLineEdit;
class QWidget;

namespace gui {

/// The state of a plug-in's options page as tolvane-import's --page-state-stdin takes it:
/// every button's checked and enabled state (by object name and text), every list's current
/// entry and every line edit's text, in the order the page holds them. `password`, when not
/// null, stands for the text of `passwordField` (a password the window asked for itself).
QByteArray capturePage(const QWidget* page, const QLineEdit* passwordField = nullptr,
                       const QString* password = nullptr);

/// The page's password field (a line edit that hides what is typed); null when it has none.
QLineEdit* passwordField(const QWidget* page);

} // namespace gui
