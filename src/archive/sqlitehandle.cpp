#include "archive/sqlitehandle.h"

#include <sqlite3.h>

namespace archive {

void SqliteCloser::operator()(sqlite3* db) const {
    sqlite3_close(db);
}

void SqliteFinalizer::operator()(sqlite3_stmt* statement) const {
    sqlite3_finalize(statement);
}

} // namespace archive
