#include "recordlog.h"

#include <string>

#include <gtest/gtest.h>

namespace {

using Json = nlohmann::ordered_json;

// The fields before "sections"; a quote shows that they are escaped too.
const Json kHeader = {{"format", "test/1"}, {"plugin", "I\"Q"}, {"result", -1}, {"done", false}};

// Values outside sections, sections nested deeper than a line of spaces and left open, files,
// every character JSON escapes and texts across blocks: the text is what nlohmann::json prints.
TEST(RecordLog, WritesWhatNlohmannJsonPrints) {
    const std::string awkward =
        "q\"b\\s/t\tn\nr\rf\fb\b\x01\x1F\x7F \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    vqrt::RecordLog log;
    EXPECT_FALSE(log.endSection());
    log.addValue("a", "1");
    log.beginSection("S");
    EXPECT_TRUE(log.endSection());
    log.addFile("b", "\"/x\"", std::nullopt);
    log.beginSection(awkward);
    log.addValue(awkward, awkward);
    log.addFile(awkward, awkward, awkward);
    for (int i = 0; i < 14; ++i) {
        log.beginSection("level " + std::to_string(i));
        log.addValue("depth", std::string(i * 1000, 'x'));
    }
    for (int i = 0; i < 10; ++i) {
        log.endSection();
    }
    log.addValue("huge", std::string(3 << 20, 'h'));
    const Json record = log.json(kHeader);
    EXPECT_EQ(record["sections"][0].dump(),
              R"({"name":"","closed":true,"entries":[{"key":"a","value":"1"}]})");
    EXPECT_EQ(record["sections"][2].dump(), R"({"name":"","closed":true,"entries":[)"
                                            R"({"key":"b","file":"\"/x\"","carried":null}]})");
    EXPECT_EQ(record["sections"][3]["entries"][1]["carried"], awkward);
    EXPECT_EQ(log.text(kHeader), record.dump(2) + "\n");
}

} // namespace
