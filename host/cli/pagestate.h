#pragma once

#include <string>

class QWidget;

namespace cli {

/// Reads a page state (a JSON object) from standard input and sets the plug-in's options page
/// inside `host` to it, the way a person would: the current entry of each list first, then a
/// click on each button whose checked state differs, then the checked and enabled states and
/// the line edits' texts exactly as given. The state names each widget by its object name
/// (and a button also by its text); widgets of one name are matched in the order the page
/// holds them. It is the desktop window's page handed to its import, so the owner password
/// travels only through the pipe:
///
///   {"buttons": [{"name": "...", "text": "Import Con&tacts", "checked": true, "enabled": true}],
///    "lists": [{"name": "m_pWinUsersList", "current": "Rover"}],
///    "lineEdits": [{"name": "NoName", "text": "..."}]}
///
/// False with one line in `error` when the input is no such object or names a widget or an
/// entry the page does not have.
bool applyPageStateFromStdin(QWidget* host, std::string& error);

} // namespace cli
