#pragma once

// Owning handles of an SQLite database and statement, for the archive's writer and for the
// programs that read an archive back.

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace archive {

/// Closes a database connection.
struct SqliteCloser {
    void operator()(sqlite3* db) const;
};

/// Finalizes a prepared statement.
struct SqliteFinalizer {
    void operator()(sqlite3_stmt* statement) const;
};

using SqliteDb = std::unique_ptr<sqlite3, SqliteCloser>;
using SqliteStatement = std::unique_ptr<sqlite3_stmt, SqliteFinalizer>;

} // namespace archive
