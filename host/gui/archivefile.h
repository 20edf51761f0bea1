#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

#include "archive/archive.h"
#include "archive/sqlitehandle.h"
#include "archive/summary.h"

namespace gui {

/// A contact as the window lists it.
struct ContactRow {
    archive::Contact contact; ///< texts, status, details and whether it has a record
    QString name;             ///< the name it is shown by
    QString group;            ///< its group's name; empty without one
    /// What it told about itself, in words: "male", "born 1975-04-12", "Home city: Köln".
    QStringList details;
};

/// One conversation: a contact with messages.
struct Conversation {
    uint32_t uin = 0;
    QString name;
    int messages = 0;
};

/// The messages of `conversations` together.
int messageCount(const std::vector<Conversation>& conversations);

/// One message as a conversation shows it.
struct MessageRow {
    QString time; ///< local time of the archive's zone, ISO 8601
    bool sent = false;
    QString label; ///< what a message that is not a plain one is ("URL", "You were added")
    QString text;
    QString url;
};

/// The icq-archive.sqlite an import wrote beside its record, read with SQLite (read-only).
class ArchiveFile {
public:
    /// Opens `path`; null with one line in `error` ("PATH: what happened (cause)").
    static std::unique_ptr<ArchiveFile> open(const QString& path, QString& error);
    ~ArchiveFile();
    ArchiveFile(const ArchiveFile&) = delete;
    ArchiveFile& operator=(const ArchiveFile&) = delete;

    /// Every contact, by UIN.
    const std::vector<ContactRow>& contacts() const { return contacts_; }
    /// The contacts counted by standing, as every summary counts them.
    const std::vector<archive::Count>& standings() const { return standings_; }
    /// The zone its times are shown in, an IANA name.
    const QString& timeZone() const { return timeZone_; }
    /// The name the owner is shown by.
    const QString& ownerName() const { return ownerName_; }
    /// The owner's UIN; 0 when the archive names no owner.
    uint32_t ownerUin() const { return ownerUin_; }
    /// The conversations with a message holding `search` (every one for an empty text), by
    /// name in the user's language, those with a contact known only by its UIN last.
    std::vector<Conversation> conversations(const QString& search = {}) const;
    /// The messages with `uin` holding `search`, by time.
    std::vector<MessageRow> messages(uint32_t uin, const QString& search = {}) const;
    /// The page of the conversation with `uin` in the history/ folder beside the archive, else
    /// that folder's index.html; empty when neither is there.
    QString historyPage(uint32_t uin) const;

private:
    explicit ArchiveFile(sqlite3* db);
    bool readContacts();
    void readDetails();
    bool readOwner();
    bool readConversations();
    // The conversations with a message holding `search`; nothing when the query fails.
    std::optional<std::vector<Conversation>> query(const QString& search) const;

    archive::SqliteDb db_;
    std::vector<ContactRow> contacts_;
    std::vector<archive::Count> standings_;
    std::vector<Conversation> all_; ///< every conversation, read once
    QString folder_;                ///< the folder the archive is in
    bool deletedFolderColumn_ = false;
    QString timeZone_;
    QString ownerName_;
    uint32_t ownerUin_ = 0;
};

} // namespace gui
