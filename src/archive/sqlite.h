#pragma once

#include "archive/archive.h"
#include "archive/timefmt.h"

#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace archive {

/// Writes the archive as one SQLite database: tables owner, groups, contacts, contact_emails
/// and messages with keys and indexes, and a view history. Everything goes into one
/// transaction on a temporary file that commit() names; dropped unfinished, it is removed.
class SqliteWriter {
public:
    /// Creates the database with the owner, the groups and the contacts; throws ExportError.
    SqliteWriter(std::string path, const Archive& archive, const TimeZone& zone);
    ~SqliteWriter();
    SqliteWriter(const SqliteWriter&) = delete;
    SqliteWriter& operator=(const SqliteWriter&) = delete;

    /// Adds a message; its UIN gets a contact row when the archive had none.
    void add(const Message& message);
    /// Adds the indexes, commits, closes and gives the file its name.
    void commit();

private:
    struct DbCloser {
        void operator()(sqlite3* db) const;
    };
    struct StatementFinalizer {
        void operator()(sqlite3_stmt* statement) const;
    };
    using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

    void exec(const char* sql);
    Statement prepare(const char* sql);
    void run(sqlite3_stmt* statement);
    [[noreturn]] void fail() const;
    void writeContacts(const Archive& archive);

    std::string path_;
    std::string part_;
    const TimeZone zone_;
    std::unique_ptr<sqlite3, DbCloser> db_;
    Statement insertMessage_;
    Statement insertUnknown_;
    bool haveUin_ = false;
    uint32_t lastUin_ = 0;
};

} // namespace archive
