#include "recordlog.h"

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "support/tempdir.h"

namespace {

using Json = nlohmann::ordered_json;
using testsupport::readFile;
using testsupport::TempDir;

// The fields before "sections"; a quote shows that they are escaped too.
const Json kHeader = {{"format", "test/1"}, {"plugin", "I\"Q"}, {"result", -1}, {"done", false}};

struct Shape {
    const char* label;
    std::function<void(vqrt::RecordLog&)> build;
    std::string json; ///< json()["sections"].dump()
};

TEST(RecordLog, WritesWhatNlohmannJsonPrintsForEveryShape) {
    const std::string awkward =
        "q\"b\\s/t\tn\nr\rf\fb\b\x01\x1F\x7F \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    const Shape shapes[] = {
        {"nothing", [](vqrt::RecordLog&) {}, "[]"},
        {"empty section",
         [](vqrt::RecordLog& l) {
             l.beginSection("S");
             l.endSection();
         },
         R"([{"name":"S","closed":true,"entries":[]}])"},
        {"open sections",
         [](vqrt::RecordLog& l) {
             l.beginSection("CONTACTS");
             l.beginSection("contact_1");
             l.addValue("UIN", "1");
             l.endSection();
             l.beginSection("contact_2");
         },
         R"([{"name":"CONTACTS","closed":false,"entries":[{"section":{"name":"contact_1",)"
         R"("closed":true,"entries":[{"key":"UIN","value":"1"}]}},{"section":{"name":)"
         R"("contact_2","closed":false,"entries":[]}}]}])"},
        {"values outside sections",
         [](vqrt::RecordLog& l) {
             EXPECT_FALSE(l.endSection());
             l.addValue("a", "1");
             l.addValue("", "");
             l.beginSection("S");
             EXPECT_TRUE(l.endSection());
             l.addFile("b", "\"/x\"", std::nullopt);
         },
         R"([{"name":"","closed":true,"entries":[{"key":"a","value":"1"},{"key":"",)"
         R"("value":""}]},{"name":"S","closed":true,"entries":[]},{"name":"","closed":true,)"
         R"("entries":[{"key":"b","file":"\"/x\"","carried":null}]}])"},
        {"files and deep nesting",
         [](vqrt::RecordLog& l) {
             l.beginSection("a");
             l.addFile("k", "\"/s/m.wav\"", std::string("files/m.wav"));
             l.beginSection("b");
             l.beginSection("c");
             l.addValue("k", "v");
             l.endSection();
             l.endSection();
             l.addValue("after", "nested");
             l.endSection();
         },
         R"([{"name":"a","closed":true,"entries":[{"key":"k","file":"\"/s/m.wav\"",)"
         R"("carried":"files/m.wav"},{"section":{"name":"b","closed":true,"entries":[)"
         R"({"section":{"name":"c","closed":true,"entries":[{"key":"k","value":"v"}]}}]}},)"
         R"({"key":"after","value":"nested"}]}])"},
        {"deeper than a line of spaces",
         [](vqrt::RecordLog& l) {
             for (int i = 0; i < 14; ++i) {
                 l.beginSection("level " + std::to_string(i));
                 l.addValue("depth", std::to_string(i));
             }
             for (int i = 0; i < 10; ++i) {
                 l.endSection();
             }
         },
         ""},
        {"escapes",
         [&](vqrt::RecordLog& l) {
             l.beginSection(awkward);
             l.addValue(awkward, awkward);
             l.addFile(awkward, awkward, awkward);
         },
         ""},
        {"texts across blocks",
         [](vqrt::RecordLog& l) {
             l.beginSection("big");
             for (int i = 0; i < 3000; ++i) {
                 l.addValue("k" + std::to_string(i % 7), std::string(i % 5000, 'x'));
             }
             l.addValue("huge", std::string(3 << 20, 'h'));
             l.endSection();
         },
         ""},
    };
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.label);
        vqrt::RecordLog log;
        shape.build(log);
        const Json record = log.json(kHeader);
        if (!shape.json.empty()) {
            EXPECT_EQ(record["sections"].dump(), shape.json);
        }
        EXPECT_EQ(log.text(kHeader), record.dump(2) + "\n");
    }
}

TEST(RecordLog, EscapesAsJsonRequires) {
    vqrt::RecordLog log;
    log.beginSection("S");
    log.addValue("k", "a\"\\\n\x01\x7F\xC3\xA9");
    const std::string text = log.text(kHeader);
    EXPECT_EQ(Json::parse(text)["sections"][0]["entries"][0]["value"], "a\"\\\n\x01\x7F\xC3\xA9");
    EXPECT_NE(text.find(R"("a\"\\\n\u0001)"), std::string::npos);
}

TEST(RecordLog, OutlineLeavesOutNestedSections) {
    vqrt::RecordLog log;
    log.beginSection("CONTACTS");
    for (int i = 1; i <= 3; ++i) {
        log.beginSection("contact_" + std::to_string(i));
        log.addValue("UIN", std::to_string(i));
        log.beginSection("deeper");
        log.addValue("x", "y");
        log.endSection();
        log.endSection();
    }
    log.addValue("No_contacts", "3");
    log.endSection();
    log.beginSection("SOUNDS");
    log.addFile("ICQMessage", "\"/m.wav\"", std::nullopt);
    EXPECT_EQ(log.json(kHeader, false)["sections"].dump(),
              R"([{"name":"CONTACTS","closed":true,"entries":[{"key":"No_contacts",)"
              R"("value":"3"}]},{"name":"SOUNDS","closed":false,"entries":[{"key":)"
              R"("ICQMessage","file":"\"/m.wav\"","carried":null}]}])");
    EXPECT_EQ(log.json(kHeader)["sections"][0]["entries"].size(), 4u);
}

TEST(RecordLog, WritesToAFileDescriptorAndReportsTheFirstError) {
    vqrt::RecordLog log;
    log.beginSection("S");
    for (int i = 0; i < 20000; ++i) {
        log.addValue("key", "value " + std::to_string(i));
    }
    TempDir dir;
    const std::string path = dir.file("record.json");
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(file, 0);
    EXPECT_EQ(log.writeText(file, kHeader), 0);
    close(file);
    const std::string text = readFile(path);
    EXPECT_GT(text.size(), size_t{256} << 10);
    EXPECT_TRUE(text == log.text(kHeader));

    int pipes[2];
    ASSERT_EQ(pipe(pipes), 0);
    close(pipes[0]);
    signal(SIGPIPE, SIG_IGN);
    EXPECT_EQ(log.writeText(pipes[1], kHeader), EPIPE);
    close(pipes[1]);
}

// A hundred thousand contacts take a few MiB, not the 80 MB of their text or more as a tree.
TEST(RecordLog, ARecordOfManyContactsStaysSmall) {
    const struct mallinfo2 before = mallinfo2();
    {
        vqrt::RecordLog log;
        log.beginSection("CONTACTS");
        for (int i = 0; i < 100000; ++i) {
            log.beginSection("contact_" + std::to_string(i));
            for (const char* key : {"NickName", "FirstName", "LastName", "PrimaryEmail"}) {
                log.addValue(key, key);
            }
            log.addValue("UIN", std::to_string(1000000 + i));
            log.endSection();
        }
        const struct mallinfo2 after = mallinfo2();
        EXPECT_LT(after.uordblks + after.hblkhd - before.uordblks - before.hblkhd,
                  size_t{16} << 20);
    }
}

} // namespace
