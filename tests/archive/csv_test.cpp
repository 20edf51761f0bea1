#include "archive/csv.h"

#include "support/samplearchive.h"

#include <string>

#include <gtest/gtest.h>

namespace {

TEST(ContactsCsv, HeaderAndRowsQuotedAsRfc4180Says) {
    const testsupport::SampleArchive sample;
    archive::Contact carl = sample.archive.contacts[1];
    carl.nickName = "Carl\r\n\"C\"";
    EXPECT_EQ(archive::contactsCsvHeader() +
                  archive::contactsCsvRow(sample.archive.contacts[0], "Friends, old") +
                  archive::contactsCsvRow(carl, "") +
                  archive::contactsCsvRow(sample.archive.contacts[2], ""),
              "uin,display_name,status,status_code,group_id,group,handle,nickname,first_name,"
              "last_name,email,other_emails,has_record\r\n"
              "2222,\"Ali; the \"\"great\"\"\",on-list,2,1000,\"Friends, old\","
              "\"Ali; the \"\"great\"\"\",Alice,Alice,\xC3\x85"
              "berg,alice@example.com,"
              "a2@example.com,1\r\n"
              "3333,\"Carl \"\"C\"\"\",removed,5,,,,\"Carl\n\"\"C\"\"\",,,,,1\r\n"
              "4444,4444,other,0,,,,,,,,,0\r\n");
}

} // namespace
