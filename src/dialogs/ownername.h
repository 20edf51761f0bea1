#pragma once

#include <string>

#include <QString>

namespace dialogs {

/// How an owner's nickname is shown: UTF-8 when it is valid UTF-8, otherwise Windows-1252 (the
/// code page of owner files), without the line end a CRLF owner file leaves at its end.
QString ownerDisplayName(const std::string& name);

} // namespace dialogs
