#include "archive/history.h"

#include "support/samplearchive.h"
#include "support/tempdir.h"

#include <filesystem>
#include <set>
#include <string>

#include <gtest/gtest.h>

namespace {

using testsupport::readFile;

class History : public testing::Test {
protected:
    void SetUp() override {
        const archive::TimeZone zone("Europe/Stockholm");
        archive::HistoryWriter writer(dir.path(), sample.archive, zone);
        sample.archive.messages->forEachMessageByContact([&](const archive::Message& m) {
            writer.add(m);
            return true;
        });
        writer.finish();
    }

    testsupport::SampleArchive sample;
    testsupport::TempDir dir;
};

TEST_F(History, OnePageAndOneTextPerConversationAndTheIndex) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        names.insert(entry.path().filename().string());
    }
    EXPECT_EQ(names, (std::set<std::string>{"2222-Ali;_the_great.html", "2222-Ali;_the_great.txt",
                                            "4444.html", "4444.txt", "5555.html", "5555.txt",
                                            "index.html"}));
}

TEST_F(History, TextFileAcrossTheDaylightSavingChange) {
    EXPECT_EQ(readFile(dir.file("2222-Ali;_the_great.txt")),
              "ICQ history: Ali; the \"great\" (2222)\n"
              "Owner: Bob (1111)\n"
              "Times in Europe/Stockholm\n"
              "\n== 2003-03-30 ==\n"
              "\n2003-03-30T01:59:59+01:00  Ali; the \"great\"\n  Hi <b>\n  there & you\n"
              "\n2003-03-30T03:00:00+02:00  Bob\n  ok\n"
              "\n2003-03-30T06:53:20+02:00  Ali; the \"great\" (URL)\n"
              "  Look\n  http://example.com/?a=1&b=2\n"
              "\n2003-03-30T06:53:21+02:00  Ali; the \"great\" (URL)\n  javascript:alert(1)\n");
    EXPECT_EQ(readFile(dir.file("4444.txt")),
              "ICQ history: 4444 (4444)\nOwner: Bob (1111)\nTimes in Europe/Stockholm\n"
              "\n== 2001-09-09 ==\n\n2001-09-09T03:46:40+02:00  4444 (You were added)\n");
}

TEST_F(History, PageIsEscapedAndLinksOnlyWebAddresses) {
    const std::string page = readFile(dir.file("2222-Ali;_the_great.html"));
    for (const char* fragment :
         {"<meta charset=\"utf-8\">", "<title>ICQ history: Ali; the &quot;great&quot; (2222)",
          "<h2>2003-03-30</h2>",
          "<time datetime=\"2003-03-30T03:00:00+02:00\">03:00:00</time> <b class=\"who\">Bob</b>",
          "Hi &lt;b&gt;<br>there &amp; you",
          "Look<br><a href=\"http://example.com/?a=1&amp;b=2\" rel=\"noreferrer\">"
          "http://example.com/?a=1&amp;b=2</a>",
          "<div class=\"text\">javascript:alert(1)</div>", "</html>\n"}) {
        EXPECT_NE(page.find(fragment), std::string::npos) << fragment;
    }
    EXPECT_EQ(page.find("<b>"), std::string::npos);
    EXPECT_EQ(page.find("href=\"javascript"), std::string::npos);
}

TEST_F(History, IndexListsConversationsWithCountsAndDates) {
    const std::string index = readFile(dir.file("index.html"));
    EXPECT_EQ(index.substr(index.find("<body>")),
              "<body>\n<h1>ICQ history of Bob (1111)</h1>\n"
              "<p>3 conversations, 6 messages. Times in Europe/Stockholm.</p>\n<table>\n"
              "<tr><th>Contact</th><th>UIN</th><th>Messages</th><th>First</th><th>Last</th>"
              "<th>Text</th></tr>\n"
              "<tr><td><a href=\"2222-Ali%3B_the_great.html\">Ali; the &quot;great&quot;</a></td>"
              "<td>2222</td><td>4</td>"
              "<td><time datetime=\"2003-03-30T01:59:59+01:00\">2003-03-30</time></td>"
              "<td><time datetime=\"2003-03-30T06:53:21+02:00\">2003-03-30</time></td>"
              "<td><a href=\"2222-Ali%3B_the_great.txt\">text</a></td></tr>\n"
              "<tr><td><a href=\"4444.html\">4444</a></td><td>4444</td><td>1</td>"
              "<td><time datetime=\"2001-09-09T03:46:40+02:00\">2001-09-09</time></td>"
              "<td><time datetime=\"2001-09-09T03:46:40+02:00\">2001-09-09</time></td>"
              "<td><a href=\"4444.txt\">text</a></td></tr>\n"
              "<tr><td><a href=\"5555.html\">5555</a></td><td>5555</td><td>1</td>"
              "<td><time datetime=\"2001-09-09T03:46:41+02:00\">2001-09-09</time></td>"
              "<td><time datetime=\"2001-09-09T03:46:41+02:00\">2001-09-09</time></td>"
              "<td><a href=\"5555.txt\">text</a></td></tr>\n"
              "</table>\n</body>\n</html>\n");
}

} // namespace
