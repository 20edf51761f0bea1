#include "dialogs/ownername.h"

#include <string_view>

#include "text/codepage.h"

namespace dialogs {

QString ownerDisplayName(const std::string& name) {
    std::string_view bytes(name);
    while (!bytes.empty() && (bytes.back() == '\r' || bytes.back() == '\n')) {
        bytes.remove_suffix(1);
    }
    return QString::fromStdString(text::toUtf8(bytes, "CP1252"));
}

} // namespace dialogs
