#pragma once

#include <cstdint>

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;

namespace gui {

class ArchiveFile;
class ContactFilter;

/// The contacts of the ICQ archive in a table to sort and filter: UIN, names, e-mail, group,
/// where each stands on the owner's list, how many messages were exchanged with it and what it
/// told about itself (city, birthday, ...).
/// Contacts not on the list (removed, ignored, known only from messages) show only with "Show
/// removed contacts". A contact with messages, activated (double-click, Enter), asks for its
/// conversation.
class ContactsPage : public QWidget {
    Q_OBJECT

public:
    /// The table's columns: who, where on the list, then the details.
    enum Column {
        kName,
        kGroup,
        kStanding,
        kMessages,
        kUin,
        kNickname,
        kFirstName,
        kLastName,
        kEmail,
        kDetails
    };

    explicit ContactsPage(QWidget* parent = nullptr);

    /// Shows the contacts of `archive` (none for null).
    void setArchive(const ArchiveFile* archive);
    /// The rows shown.
    int shownCount() const;
    /// The field that filters the contacts.
    QLineEdit* searchField() const { return search_; }

signals:
    /// The person asked for the messages with `uin`.
    void conversationWanted(uint32_t uin);

private:
    void updateCount();

    QStandardItemModel* model_ = nullptr;
    ContactFilter* filter_ = nullptr;
    QLineEdit* search_ = nullptr;
    QCheckBox* showRemoved_ = nullptr;
    QLabel* count_ = nullptr;
    QTableView* table_ = nullptr;
    QString counts_;
};

} // namespace gui
