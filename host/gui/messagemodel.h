#pragma once

#include <vector>

#include <QAbstractTableModel>

#include "archivefile.h"

namespace gui {

/// One conversation's messages as the Messages page lists them: a line each (date, sender, the
/// start of the text), the whole message under `kWholeRole`. Rows are one line high, so a view
/// lays out only the rows in sight, however long the conversation.
class MessageModel : public QAbstractTableModel {
    Q_OBJECT

public:
    /// The columns of the list.
    enum Column { kTime, kFrom, kText };
    /// The message as it is read whole: "2001-01-19 00:25:23 +01:00, Rover:\n\nthe text".
    static constexpr int kWholeRole = Qt::UserRole;

    using QAbstractTableModel::QAbstractTableModel;

    /// Shows `rows`, the sent ones from `owner`, the others from `contact`.
    void setMessages(std::vector<MessageRow> rows, const QString& owner, const QString& contact);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const QString& from(const MessageRow& row) const { return row.sent ? owner_ : contact_; }

    std::vector<MessageRow> rows_;
    QString owner_;
    QString contact_;
};

} // namespace gui
