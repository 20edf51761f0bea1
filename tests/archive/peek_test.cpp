#include "archive/peek.h"

#include "icqdb.h"
#include "support/tempdir.h"

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include <gtest/gtest.h>

namespace {

using testsupport::TempDir;

std::string peeked(const std::string& path, const std::string& codepage = "CP1252") {
    std::string error;
    const auto found = archive::peekOwner(path, codepage, error);
    if (!found) {
        return error;
    }
    const archive::Owner& o = found->owner;
    return std::to_string(o.uin) + " " + o.nickName + "|" + o.firstName + "|" + o.lastName + " " +
           found->version;
}

// Points the index's leaf of the owner entry (ID 1005) at `offset`.
void moveOwnerLeaf(std::string& idx, uint32_t offset) {
    const std::string leaf("\xFE\xFF\xFF\xFF\xED\x03\x00\x00", 8);
    const size_t at = idx.find(leaf);
    ASSERT_NE(at, std::string::npos);
    std::memcpy(idx.data() + at + 16, &offset, 4);
}

// Marks the owner entry's first slot free in its page's allocation bitmap: only the index
// leads to it.
void hideOwnerEntry(mkwin::IcqDatabaseFiles& f) {
    for (const mkwin::IcqEntryPlace& p : f.places) {
        if (p.id == 1005 && p.live) {
            const size_t page = 8 + (p.offset - 8) / 64205 * 64205;
            const uint32_t slot = (p.offset - page - 205) / 64;
            f.dat[page + 0x50 + slot / 8] &= static_cast<char>(~(0x80 >> (slot % 8)));
        }
    }
}

// The owner comes from its entry alone: through the index, or through the data pages when
// there is no index or it leads elsewhere; whatever else the file holds is not read.
TEST(PeekOwner, ReadsTheOwnerEntryAlone) {
    struct Case {
        const char* label;
        std::function<void(mkwin::IcqDatabaseContent&)> content;
        std::function<void(mkwin::IcqDatabaseFiles&)> damage;
        std::string expected; // with DIR for the folder
    };
    const auto rover = [](mkwin::IcqDatabaseContent& c) {
        c.ownerUin = 23456789;
        c.ownerNickName = "Rover";
        c.ownerFirstName = "Robert";
        c.ownerLastName = "\xD6verby";
    };
    const auto none = [](mkwin::IcqDatabaseFiles&) {};
    const Case cases[] = {
        {"through the index", rover, none, "23456789 Rover|Robert|Överby 2000b"},
        {"without an index", rover, [](auto& f) { f.idx.clear(); },
         "23456789 Rover|Robert|Överby 2000b"},
        {"only the index leads to it", rover, hideOwnerEntry, "23456789 Rover|Robert|Överby 2000b"},
        {"only an index would lead to it", rover,
         [](auto& f) {
             hideOwnerEntry(f);
             f.idx.clear();
         },
         "DIR/1.dat: no readable owner entry (My Details, entry 1005)"},
        {"only an index linked from elsewhere would lead to it", rover,
         [](auto& f) {
             hideOwnerEntry(f);
             f.idx = "link:" + f.idx;
         },
         "DIR/1.dat: no readable owner entry (My Details, entry 1005)"},
        {"index leading elsewhere", rover, [](auto& f) { moveOwnerLeaf(f.idx, 8 + 64205 + 205); },
         "23456789 Rover|Robert|Överby 2000b"},
        {"index leading past the file", rover, [](auto& f) { moveOwnerLeaf(f.idx, 0x7FFFFFF0); },
         "23456789 Rover|Robert|Överby 2000b"},
        {"owner entry pages on, no index",
         [&](mkwin::IcqDatabaseContent& c) {
             c = mkwin::realisticIcqDatabase(4711000, 3000, 0, 7);
             c.ownerRecordIndex = c.contacts.size();
             c.index = false;
             c.build = 533;
         },
         none, "4711000 coolmoon60|Tomás|Østergaard 2002a"},
        {"no database", rover, [](auto& f) { f.dat = std::string(64, 'x'); },
         "DIR/1.dat: not an ICQ database (expected the header 04 00 00 00 08 00 00 00, found 78 "
         "78 78 78 78 78 78 78)"},
        {"owner entry unreadable", rover,
         [](auto& f) {
             const size_t user = f.dat.find("USER");
             ASSERT_NE(user, std::string::npos);
             f.dat.replace(user, 4, "user");
         },
         "DIR/1.dat: no readable owner entry (My Details, entry 1005)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        mkwin::IcqDatabaseContent content;
        c.content(content);
        std::string error;
        auto files = mkwin::icqDatabaseFiles(content, error);
        ASSERT_TRUE(files) << error;
        c.damage(*files);
        TempDir dir;
        testsupport::writeFile(dir.file("1.dat"), files->dat);
        if (files->idx.rfind("link:", 0) == 0) {
            testsupport::writeFile(dir.file("elsewhere/1.idx"), files->idx.substr(5));
            std::filesystem::create_symlink(dir.file("elsewhere/1.idx"), dir.file("1.idx"));
        } else if (!files->idx.empty()) {
            testsupport::writeFile(dir.file("1.idx"), files->idx);
        }
        std::string expected = c.expected;
        if (expected.rfind("DIR", 0) == 0) {
            expected.replace(0, 3, dir.path());
        }
        EXPECT_EQ(peeked(dir.file("1.dat")), expected);
    }
}

} // namespace
