#include "recordlog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <functional>
#include <string>

#include <gtest/gtest.h>

namespace {

using Json = nlohmann::ordered_json;

// The "sections" array as nlohmann::json prints the whole record (indent 2), one level deep.
std::string nlohmannText(const Json& sections) {
    Json record;
    record["sections"] = sections;
    const std::string text = record.dump(2, ' ', false, Json::error_handler_t::strict);
    const std::string prefix = "{\n  \"sections\": ";
    return text.substr(prefix.size(), text.size() - prefix.size() - 2);
}

std::string written(const vqrt::RecordLog& log) {
    std::string text;
    vqrt::TextOut out(&text);
    log.writeSections(out);
    EXPECT_EQ(out.finish(), 0);
    return text;
}

struct Shape {
    const char* label;
    std::function<void(vqrt::RecordLog&)> build;
    std::string json; ///< sectionsJson().dump()
};

TEST(RecordLog, WritesWhatNlohmannJsonWritesForEveryShape) {
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
        const Json sections = log.sectionsJson();
        if (!shape.json.empty()) {
            EXPECT_EQ(sections.dump(), shape.json);
        }
        EXPECT_EQ(written(log), nlohmannText(sections));
    }
}

TEST(RecordLog, EscapesAsJsonRequires) {
    vqrt::RecordLog log;
    log.beginSection("S");
    log.addValue("k", "a\"\\\n\x01\x7F\xC3\xA9");
    const Json back = Json::parse("{\"sections\": " + written(log) + "}");
    EXPECT_EQ(back["sections"][0]["entries"][0]["value"], "a\"\\\n\x01\x7F\xC3\xA9");
    EXPECT_NE(written(log).find(R"("a\"\\\n\u0001)"), std::string::npos);
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
    EXPECT_EQ(log.sectionsJson(false).dump(),
              R"([{"name":"CONTACTS","closed":true,"entries":[{"key":"No_contacts",)"
              R"("value":"3"}]},{"name":"SOUNDS","closed":false,"entries":[{"key":)"
              R"("ICQMessage","file":"\"/m.wav\"","carried":null}]}])");
    EXPECT_EQ(log.sectionsJson()[0]["entries"].size(), 4u);
}

TEST(RecordLog, WritingToAFileDescriptorReportsTheFirstError) {
    vqrt::RecordLog log;
    log.beginSection("S");
    for (int i = 0; i < 2000; ++i) {
        log.addValue("key", std::string(100, 'v'));
    }
    int pipes[2];
    ASSERT_EQ(pipe(pipes), 0);
    close(pipes[0]);
    signal(SIGPIPE, SIG_IGN);
    vqrt::TextOut broken(pipes[1]);
    log.writeSections(broken);
    EXPECT_EQ(broken.finish(), EPIPE);
    close(pipes[1]);

    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(null, 0);
    vqrt::TextOut fine(null);
    log.writeSections(fine);
    EXPECT_EQ(fine.finish(), 0);
    close(null);
}

TEST(RecordLog, WriteBehindChangesNothingButWhenTheDiskIsWritten) {
    vqrt::RecordLog log;
    log.beginSection("S");
    for (int i = 0; i < 150000; ++i) {
        log.addValue("key", "value " + std::to_string(i));
    }
    const std::string expected = written(log);
    ASSERT_GT(expected.size(), size_t{8} << 20);
    char name[] = "/tmp/recordlog-XXXXXX";
    const int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    unlink(name);
    vqrt::TextOut file(fd, true);
    log.writeSections(file);
    EXPECT_EQ(file.finish(), 0);
    std::string back(expected.size() + 1, '\0');
    EXPECT_EQ(pread(fd, back.data(), back.size(), 0), static_cast<ssize_t>(expected.size()));
    back.resize(expected.size());
    EXPECT_TRUE(back == expected);
    close(fd);

    // Where the hint means nothing, writing goes on all the same.
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(null, 0);
    vqrt::TextOut device(null, true);
    log.writeSections(device);
    EXPECT_EQ(device.finish(), 0);
    close(null);
}

} // namespace
