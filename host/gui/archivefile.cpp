#include "archivefile.h"

#include <algorithm>
#include <unordered_map>

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <sqlite3.h>

#include "archive/details.h"
#include "archive/names.h"

namespace gui {

namespace {

using Statement = archive::SqliteStatement;

Statement prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    return Statement(statement);
}

QString column(sqlite3_stmt* statement, int index) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, index));
    return text == nullptr ? QString()
                           : QString::fromUtf8(text, sqlite3_column_bytes(statement, index));
}

std::string stdColumn(sqlite3_stmt* statement, int index) {
    return column(statement, index).toStdString();
}

archive::ContactStatus statusOf(const std::string& name) {
    using archive::ContactStatus;
    for (const ContactStatus status : {ContactStatus::OnList, ContactStatus::AwaitingAuthorisation,
                                       ContactStatus::Removed, ContactStatus::Ignored}) {
        if (name == archive::statusName(status)) {
            return status;
        }
    }
    return ContactStatus::Other;
}

// The search as a LIKE pattern, its own % and _ taken literally.
QByteArray likePattern(const QString& search) {
    QString escaped = search;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('%'), QStringLiteral("\\%"))
        .replace(QLatin1Char('_'), QStringLiteral("\\_"));
    return (QLatin1Char('%') + escaped + QLatin1Char('%')).toUtf8();
}

void bindSearch(sqlite3_stmt* statement, int index, const QByteArray& pattern) {
    sqlite3_bind_text(statement, index, pattern.constData(), static_cast<int>(pattern.size()),
                      SQLITE_TRANSIENT);
}

} // namespace

ArchiveFile::ArchiveFile(sqlite3* db) : db_(db) {}

ArchiveFile::~ArchiveFile() = default;

int messageCount(const std::vector<Conversation>& conversations) {
    int messages = 0;
    for (const Conversation& conversation : conversations) {
        messages += conversation.messages;
    }
    return messages;
}

std::unique_ptr<ArchiveFile> ArchiveFile::open(const QString& path, QString& error) {
    sqlite3* db = nullptr;
    const int opened =
        sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<ArchiveFile> file(new ArchiveFile(db));
    if (opened != SQLITE_OK || !file->readContacts() || !file->readOwner() ||
        !file->readConversations()) {
        error =
            QStringLiteral("%1: cannot read the archive (%2)")
                .arg(path, QString::fromUtf8(db != nullptr ? sqlite3_errmsg(db) : "out of memory"));
        return nullptr;
    }
    file->readDetails();
    file->deletedFolderColumn_ =
        prepare(db, "SELECT deleted_folder FROM messages LIMIT 0") != nullptr;
    file->folder_ = QFileInfo(path).absolutePath();
    return file;
}

void ArchiveFile::readDetails() {
    // Archives written before contacts kept their details have no such table.
    const Statement statement =
        prepare(db_.get(), "SELECT uin, name, value FROM contact_details ORDER BY uin, rowid");
    if (statement == nullptr) {
        return;
    }
    std::unordered_map<uint32_t, ContactRow*> byUin;
    for (ContactRow& row : contacts_) {
        byUin[row.contact.uin] = &row;
    }
    while (sqlite3_step(statement.get()) == SQLITE_ROW) {
        const auto row =
            byUin.find(static_cast<uint32_t>(sqlite3_column_int64(statement.get(), 0)));
        if (row != byUin.end()) {
            row->second->contact.details.emplace_back(stdColumn(statement.get(), 1),
                                                      stdColumn(statement.get(), 2));
        }
    }
    for (ContactRow& row : contacts_) {
        for (const std::string& words : archive::detailWords(row.contact)) {
            row.details << QString::fromStdString(words);
        }
    }
}

bool ArchiveFile::readContacts() {
    const Statement statement = prepare(
        db_.get(), "SELECT c.uin, c.display_name, c.status, c.status_code, c.group_id, c.handle, "
                   "c.nickname, c.first_name, c.last_name, c.has_record, g.name, "
                   "(SELECT email FROM contact_emails e WHERE e.uin = c.uin ORDER BY position "
                   "LIMIT 1) FROM contacts c LEFT JOIN groups g ON g.id = c.group_id "
                   "ORDER BY c.uin");
    if (statement == nullptr) {
        return false;
    }
    int step = SQLITE_ROW;
    archive::StandingTally tally;
    while ((step = sqlite3_step(statement.get())) == SQLITE_ROW) {
        sqlite3_stmt* s = statement.get();
        ContactRow row;
        archive::Contact& c = row.contact;
        c.uin = static_cast<uint32_t>(sqlite3_column_int64(s, 0));
        row.name = column(s, 1);
        c.status = statusOf(stdColumn(s, 2));
        c.rawStatus = sqlite3_column_int(s, 3);
        c.groupId = static_cast<uint32_t>(sqlite3_column_int64(s, 4));
        c.handle = stdColumn(s, 5);
        c.nickName = stdColumn(s, 6);
        c.firstName = stdColumn(s, 7);
        c.lastName = stdColumn(s, 8);
        c.hasRecord = sqlite3_column_int(s, 9) != 0;
        row.group = column(s, 10);
        if (sqlite3_column_type(s, 11) != SQLITE_NULL) {
            c.emails.push_back(stdColumn(s, 11));
        }
        tally.add(c);
        contacts_.push_back(std::move(row));
    }
    standings_ = tally.counts();
    return step == SQLITE_DONE;
}

bool ArchiveFile::readOwner() {
    const Statement statement =
        prepare(db_.get(), "SELECT time_zone, display_name, uin FROM owner");
    if (statement == nullptr) {
        return false;
    }
    const int step = sqlite3_step(statement.get());
    if (step == SQLITE_ROW) {
        timeZone_ = column(statement.get(), 0);
        ownerName_ = column(statement.get(), 1);
        ownerUin_ = static_cast<uint32_t>(sqlite3_column_int64(statement.get(), 2));
    }
    return step == SQLITE_ROW || step == SQLITE_DONE;
}

bool ArchiveFile::readConversations() {
    std::optional<std::vector<Conversation>> all = query(QString());
    if (!all) {
        return false;
    }
    all_ = std::move(*all);
    return true;
}

std::vector<Conversation> ArchiveFile::conversations(const QString& search) const {
    return search.isEmpty() ? all_ : query(search).value_or(std::vector<Conversation>());
}

std::optional<std::vector<Conversation>> ArchiveFile::query(const QString& search) const {
    const Statement statement =
        prepare(db_.get(), "SELECT m.uin, c.display_name, count(*) FROM messages m "
                           "JOIN contacts c ON c.uin = m.uin WHERE ?1 = '%%' OR m.text LIKE ?1 "
                           "ESCAPE '\\' OR m.url LIKE ?1 ESCAPE '\\' GROUP BY m.uin "
                           "ORDER BY m.uin");
    if (statement == nullptr) {
        return std::nullopt;
    }
    std::vector<Conversation> found;
    bindSearch(statement.get(), 1, likePattern(search));
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(statement.get())) == SQLITE_ROW) {
        found.push_back({static_cast<uint32_t>(sqlite3_column_int64(statement.get(), 0)),
                         column(statement.get(), 1), sqlite3_column_int(statement.get(), 2)});
    }
    if (step != SQLITE_DONE) {
        return std::nullopt;
    }
    // By name as people sort them ("Åsa" among the A's where the language says so); contacts
    // known by their UIN alone come last.
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const auto bare = [](const Conversation& c) { return c.name == QString::number(c.uin); };
    std::stable_sort(found.begin(), found.end(), [&](const Conversation& a, const Conversation& b) {
        if (bare(a) != bare(b)) {
            return bare(b);
        }
        return !bare(a) && collator.compare(a.name, b.name) < 0;
    });
    return found;
}

std::vector<MessageRow> ArchiveFile::messages(uint32_t uin, const QString& search) const {
    // Archives written before messages of the Deleted folder could be exported lack its column.
    const std::string sql =
        std::string("SELECT time, direction, kind, subtype, text, url, ") +
        (deletedFolderColumn_ ? "deleted_folder" : "0") +
        " FROM messages WHERE uin = ?2 AND (?1 = '%%' OR text LIKE ?1 ESCAPE '\\' OR "
        "url LIKE ?1 ESCAPE '\\') ORDER BY time_utc, id";
    const Statement statement = prepare(db_.get(), sql.c_str());
    std::vector<MessageRow> found;
    if (statement == nullptr) {
        return found;
    }
    bindSearch(statement.get(), 1, likePattern(search));
    sqlite3_bind_int64(statement.get(), 2, uin);
    while (sqlite3_step(statement.get()) == SQLITE_ROW) {
        sqlite3_stmt* s = statement.get();
        archive::Message kind;
        kind.kind = archive::kindNamed(stdColumn(s, 2));
        kind.subtype = static_cast<uint16_t>(sqlite3_column_int(s, 3));
        kind.inDeletedFolder = sqlite3_column_int(s, 6) != 0;
        found.push_back({column(s, 0), column(s, 1) == QLatin1String("sent"),
                         QString::fromStdString(archive::kindLabel(kind)), column(s, 4),
                         column(s, 5)});
    }
    return found;
}

QString ArchiveFile::historyPage(uint32_t uin) const {
    const QDir history(QDir(folder_).filePath(QStringLiteral("history")));
    const auto found = std::find_if(all_.begin(), all_.end(),
                                    [uin](const Conversation& c) { return c.uin == uin; });
    // The export names a conversation's page by the name shown for its contact.
    if (found != all_.end()) {
        const QString page = history.filePath(
            QString::fromStdString(archive::fileStem(uin, found->name.toStdString())) +
            QStringLiteral(".html"));
        if (QFileInfo(page).isFile()) {
            return page;
        }
    }
    const QString index = history.filePath(QStringLiteral("index.html"));
    return QFileInfo(index).isFile() ? index : QString();
}

} // namespace gui
