#include "archive/sqlite.h"

#include "support/samplearchive.h"
#include "support/tempdir.h"

#include <filesystem>
#include <memory>
#include <sqlite3.h>
#include <string>

#include <gtest/gtest.h>

namespace {

// The rows of `sql`, columns joined by "|", each row ended by a line end.
std::string query(sqlite3* db, const char* sql) {
    std::string rows;
    const auto collect = [](void* out, int n, char** values, char**) {
        auto& text = *static_cast<std::string*>(out);
        for (int i = 0; i < n; ++i) {
            text += (i == 0 ? "" : "|") + std::string(values[i] ? values[i] : "NULL");
        }
        text += "\n";
        return 0;
    };
    EXPECT_EQ(sqlite3_exec(db, sql, collect, &rows, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    return rows;
}

TEST(SqliteExport, TablesHoldTheWholeArchive) {
    testsupport::SampleArchive sample;
    testsupport::TempDir dir;
    const std::string path = dir.file("icq-archive.sqlite");
    {
        const archive::TimeZone zone("Europe/Stockholm");
        archive::SqliteWriter writer(path, sample.archive, zone);
        sample.archive.messages->forEachMessageByContact([&](const archive::Message& m) {
            writer.add(m);
            return true;
        });
        writer.commit();
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file(".icq-archive.sqlite.part")));

    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
    EXPECT_EQ(query(db.get(), "SELECT * FROM owner"), "1111|Bob|Bob||||Europe/Stockholm\n");
    EXPECT_EQ(query(db.get(), "SELECT c.uin, c.status, g.name, count(m.id) FROM contacts c "
                              "LEFT JOIN groups g ON g.id = c.group_id "
                              "LEFT JOIN messages m ON m.uin = c.uin GROUP BY c.uin"),
              "2222|on-list|Friends, old|4\n3333|removed|NULL|0\n4444|other|NULL|1\n"
              "5555|other|NULL|1\n");
    EXPECT_EQ(query(db.get(), "SELECT group_concat(email, ' ') FROM contact_emails"),
              "alice@example.com a2@example.com\n");
    EXPECT_EQ(query(db.get(), "SELECT direction, kind, time, text, url, hex(raw_text) "
                              "FROM messages WHERE uin = 2222 ORDER BY time_utc LIMIT 3"),
              "received|message|2003-03-30T01:59:59+01:00|Hi <b>\nthere & you||"
              "4869203C623E0D0A7468657265202620796F75\n"
              "sent|message|2003-03-30T03:00:00+02:00|ok||6F6B\n"
              "received|url|2003-03-30T06:53:20+02:00|Look|http://example.com/?a=1&b=2|4C6F6F6B\n");
    EXPECT_EQ(query(db.get(), "SELECT name FROM sqlite_master WHERE type = 'index' "
                              "AND name NOT LIKE 'sqlite_%' ORDER BY name"),
              "contacts_by_group\nmessages_by_contact\nmessages_by_time\n");
    EXPECT_EQ(query(db.get(), "SELECT count(*) FROM history"), "6\n");
}

TEST(SqliteExport, UnfinishedDatabaseLeavesNoFile) {
    testsupport::SampleArchive sample;
    testsupport::TempDir dir;
    { archive::SqliteWriter writer(dir.file("a.sqlite"), sample.archive, archive::TimeZone()); }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

} // namespace
