#pragma once

#include "archive/archive.h"
#include "archive/sqlitehandle.h"
#include "archive/timefmt.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace archive {

/// A message as every export shows it: its texts cleaned, its time formatted once.
struct MessageRow {
    uint32_t uin = 0;
    const char* direction = "";
    const char* kind = "";
    uint16_t subtype = 0;
    int64_t time = 0;
    std::string isoTime;
    std::string text;
    std::string url;
    /// Filled only for the database.
    std::string rawText;
    uint32_t entryId = 0;
    uint64_t offset = 0;
    bool inDeletedFolder = false;
};

/// `message` made into a row (without its raw text), its time shown in `zone`.
MessageRow messageRow(const Message& message, const TimeZone& zone);

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

    /// Adds a message; its UIN gets a contact row when the archive had none. The rows are
    /// inserted on a thread of their own, a few batches behind, so that the other exports run
    /// meanwhile; throws ExportError when inserting has failed.
    void add(MessageRow row);
    /// Waits for the rows, adds the indexes, commits and closes; the file keeps its temporary
    /// name, which is answered. The caller removes it if it is not put in place.
    std::string finish();

private:
    using Statement = SqliteStatement;

    using Batch = std::vector<MessageRow>;

    void exec(const char* sql);
    Statement prepare(const char* sql);
    void run(sqlite3_stmt* statement);
    [[noreturn]] void fail() const;
    void writeContacts(const Archive& archive);
    void insert(const MessageRow& row);
    /// Hands the batch being filled to the inserting thread, waiting while enough are queued.
    void send();
    /// Ends the inserting thread after the queued batches (none when `drop`).
    void finishInserting(bool drop);
    void insertBatches();

    std::string path_;
    std::string part_;
    SqliteDb db_;
    Statement insertMessage_;
    Statement insertUnknown_;
    bool haveUin_ = false;
    uint32_t lastUin_ = 0;

    // Between the exporting thread and the inserting one.
    Batch filling_;
    size_t fillingBytes_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Batch> queued_;
    bool closing_ = false;
    /// Set by the inserting thread when a row could not be inserted.
    std::string failure_;
    std::thread inserter_;
};

} // namespace archive
