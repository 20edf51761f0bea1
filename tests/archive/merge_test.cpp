#include "archive/merge.h"

#include "support/samplearchive.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using archive::ContactStatus;
using archive::Direction;
using testsupport::InMemoryMessageSource;
using testsupport::message;

struct Copy {
    explicit Copy(std::vector<archive::Message> messages) : source(std::move(messages)) {
        archive.owner.uin = 1111;
        archive.messages = &source;
    }
    InMemoryMessageSource source;
    archive::Archive archive;
};

// "uin time direction text" per message, in the order the merged archive gives them; "(deleted)"
// after one in ICQ's Deleted folder.
std::string listed(const archive::Archive& merged) {
    std::string out;
    merged.messages->forEachMessageByContact([&](const archive::Message& m) {
        out += std::to_string(m.uin) + " " + std::to_string(m.time) + " " +
               (m.direction == Direction::Sent ? "out " : "in ") + m.text +
               (m.inDeletedFolder ? " (deleted)\n" : "\n");
        return true;
    });
    return out;
}

TEST(Merge, OverlappingCopiesAddNothingTwice) {
    const auto in = Direction::Received;
    const auto out = Direction::Sent;
    archive::Message deleted = message(3, out, 5, "x");
    deleted.inDeletedFolder = true;
    Copy older({message(2, in, 10, "a"), message(2, in, 20, "same second 1"),
                message(2, in, 20, "ok"), message(2, in, 20, "ok"), deleted});
    Copy newer({message(2, in, 20, "ok"), message(2, in, 20, "same second 2"),
                message(2, in, 20, "ok"), message(2, out, 20, "ok"), message(2, in, 30, "b"),
                message(3, out, 5, "x")});
    // Equal texts from differently stored bytes are two messages.
    newer.archive.report.mergedMessages = 1;
    archive::Message recoded = message(2, in, 10, "a");
    recoded.rawText = "A";
    older.archive.report.warnings = {"entry 7 at offset 0x10: damaged"};
    Copy third({recoded});
    // A contact is taken from the copy where it is on the list, filled from the others.
    older.archive.contacts = {{7,
                               ContactStatus::OnList,
                               2,
                               0,
                               "",
                               "Seven",
                               "",
                               "",
                               {"b@x"},
                               {{"HomeCity", "Bonn"}, {"Age", "30"}}}};
    newer.archive.contacts = {{7,
                               ContactStatus::Removed,
                               5,
                               0,
                               "nick",
                               "",
                               "",
                               "",
                               {"a@x", "b@x"},
                               {{"About", "hi"}, {"HomeCity", "Köln"}}}};
    older.archive.groups = {{1, "Old name"}, {2, "Kept"}};
    newer.archive.groups = {{1, "New name"}};

    const archive::MergedArchive merged(
        {{"2003.dat", &older.archive}, {"2004.dat", &newer.archive}, {"x.dat", &third.archive}});
    EXPECT_EQ(listed(merged.archive()),
              "2 10 in a\n2 10 in a\n2 20 in same second 1\n2 20 in ok\n2 20 in ok\n"
              "2 20 in same second 2\n2 20 out ok\n2 30 in b\n3 5 out x (deleted)\n");
    EXPECT_EQ(merged.archive().report.mergedMessages, 1u + 3u);
    EXPECT_EQ(merged.archive().report.warnings,
              std::vector<std::string>{"2003.dat: entry 7 at offset 0x10: damaged"});
    ASSERT_EQ(merged.archive().contacts.size(), 1u);
    const archive::Contact& c = merged.archive().contacts[0];
    EXPECT_EQ(c.status, ContactStatus::OnList);
    EXPECT_EQ(c.handle + "|" + c.nickName, "Seven|nick");
    EXPECT_EQ(c.emails, (std::vector<std::string>{"b@x", "a@x"}));
    const std::vector<std::pair<std::string, std::string>> details = {
        {"HomeCity", "Bonn"}, {"Age", "30"}, {"About", "hi"}};
    EXPECT_EQ(c.details, details);
    ASSERT_EQ(merged.archive().groups.size(), 2u);
    EXPECT_EQ(merged.archive().groups[0].name, "New name");
}

} // namespace
