#include "messagemodel.h"

namespace gui {

namespace {

// What a message says: "Authorisation request: please add me", a URL below its description.
QString textOf(const MessageRow& row) {
    QString text = row.text;
    if (!row.url.isEmpty()) {
        text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + row.url;
    }
    if (!row.label.isEmpty()) {
        text = text.isEmpty() ? row.label : row.label + QStringLiteral(": ") + text;
    }
    return text;
}

// The start of `text` on one line, its line breaks and runs of blanks one space each; the list
// elides what its column cannot show.
QString preview(const QString& text) {
    constexpr int kLongest = 300;
    const QString line = text.left(kLongest).simplified();
    return text.size() > kLongest ? line + QChar(0x2026) : line;
}

// "2001-01-02T01:50:43+01:00" read as "2001-01-02 01:50:43"; the offset goes to the tool tip.
QString when(const MessageRow& row) {
    return row.time.left(19).replace(QLatin1Char('T'), QLatin1Char(' '));
}

} // namespace

void MessageModel::setMessages(std::vector<MessageRow> rows, const QString& owner,
                               const QString& contact) {
    beginResetModel();
    rows_ = std::move(rows);
    owner_ = owner;
    contact_ = contact;
    endResetModel();
}

int MessageModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int MessageModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant MessageModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const MessageRow& row = rows_[static_cast<size_t>(index.row())];
    if (role == kWholeRole) {
        return tr("%1 %2, %3:\n\n%4").arg(when(row), row.time.mid(19), from(row), textOf(row));
    }
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case kTime:
            return when(row);
        case kFrom:
            return from(row);
        default:
            return preview(textOf(row));
        }
    }
    if (role == Qt::ToolTipRole && index.column() == kTime) {
        return row.time;
    }
    if (role == Qt::ToolTipRole && index.column() == kFrom) {
        return row.sent ? tr("sent by %1").arg(owner_) : tr("received from %1").arg(contact_);
    }
    return {};
}

QVariant MessageModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
    case kTime:
        return tr("Date");
    case kFrom:
        return tr("From");
    case kText:
        return tr("Text");
    default:
        return {};
    }
}

} // namespace gui
