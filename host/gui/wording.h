#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include "archive/text.h"

namespace gui {

/// "2 888": thousands grouped as the archive's counts are.
inline QString grouped(int count) {
    return QString::fromStdString(archive::grouped(static_cast<uint64_t>(std::max(count, 0))));
}

/// "1 file", "2 files", "2 888 contacts".
inline QString counted(int count, const QString& one, const QString& many) {
    return QStringLiteral("%1 %2").arg(grouped(count), count == 1 ? one : many);
}

/// Each text on a line of its own, after `prefix`, every line ended.
inline QString lines(const std::vector<std::string>& texts, const QString& prefix) {
    QString text;
    for (const std::string& line : texts) {
        text += prefix + QString::fromStdString(line) + QLatin1Char('\n');
    }
    return text;
}

/// "A", "A and B", "A, B and C".
inline QString listed(const QStringList& parts) {
    if (parts.size() < 2) {
        return parts.value(0);
    }
    return QCoreApplication::translate("gui::wording", "%1 and %2")
        .arg(parts.mid(0, parts.size() - 1).join(QStringLiteral(", ")), parts.back());
}

} // namespace gui
