#include "icqdb.h"
#include "icqgen.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// What a reader answers for the builder's databases (expectedContacts) is checked against the
// contact scan in contactsreader_test, which also reads the property encodings; here the
// layout of pages and index is checked apart from any reader.

namespace {

using namespace mkwin;

uint32_t le(const std::string& bytes, size_t at, int width = 4) {
    uint32_t v = 0;
    for (int i = 0; i < width; ++i) {
        v |= static_cast<uint32_t>(static_cast<unsigned char>(bytes.at(at + i))) << (8 * i);
    }
    return v;
}

// Pages, bitmaps and the index's leaves as ICQ lays them out.
TEST(IcqDb, FilesHaveTheDocumentedStructure) {
    std::string error;
    const auto files = icqDatabaseFiles(realisticIcqDatabase(4711, 40, 150000, 2), error);
    ASSERT_TRUE(files) << error;
    const std::string& dat = files->dat;
    const std::string& idx = files->idx;
    ASSERT_EQ((dat.size() - 8) % 64205, 0u);
    ASSERT_EQ((idx.size() - 20) % 20205, 0u);
    // Every allocated slot (bit 7 - (i & 7) of byte i >> 3 of the page's bitmap) belongs to
    // exactly one live entry; leftovers lie in free slots.
    const auto allocated = [&](size_t page, uint32_t slot) {
        return (static_cast<unsigned char>(dat.at(page + 0x50 + slot / 8)) & (0x80 >> slot % 8));
    };
    std::map<uint32_t, uint32_t> live; // ID to offset
    size_t bits = 0;
    for (const IcqEntryPlace& p : files->places) {
        const size_t page = 8 + (p.offset - 8) / 64205 * 64205;
        const uint32_t slot = (p.offset - page - 205) / 64;
        EXPECT_EQ(le(dat, p.offset) + 4, p.size);
        for (uint32_t s = slot; s < slot + (p.size + 63) / 64; ++s) {
            EXPECT_EQ(allocated(page, s) != 0, p.live);
            bits += p.live;
        }
        if (p.live) {
            live[p.id] = p.offset;
        }
    }
    for (size_t page = 8; page < dat.size(); page += 64205) {
        for (uint32_t s = 0; s < 1000; ++s) {
            bits -= allocated(page, s) != 0;
        }
    }
    EXPECT_EQ(bits, 0u);

    // Leaves in ID order, linked by next pointers (all) and previous ones (live only); the
    // tree above them is walked by the archive's reader.
    std::vector<uint32_t> forward;
    uint32_t lastLive = 0xFFFFFFFFu;
    for (uint32_t leaf = 225; leaf != 0xFFFFFFFFu; leaf = le(idx, leaf + 8)) {
        EXPECT_EQ(le(idx, leaf + 12), lastLive);
        lastLive = live.count(le(idx, leaf + 4)) != 0 ? leaf : lastLive;
        forward.push_back(le(idx, leaf + 4));
    }
    EXPECT_EQ(forward.size(), files->places.size());
    EXPECT_TRUE(std::is_sorted(forward.begin(), forward.end()));
}

TEST(IcqDb, ContactsKeepTheirBuildStatusAndFiling) {
    IcqDatabaseContent content;
    content.contacts.resize(3);
    content.contacts[0].status = IcqContactStatus::Ignored;
    content.contacts[1].build = 319;
    content.contacts[2].status = IcqContactStatus::Awaiting;
    std::string error;
    const auto files = icqDatabaseFiles(content, error);
    ASSERT_TRUE(files) << error;
    std::vector<std::string> contacts; // filing, build, status
    for (const IcqEntryPlace& p : files->places) {
        const std::string e = files->dat.substr(p.offset, p.size);
        if (e.substr(12, 16) == kIcqContactSignature) {
            contacts.push_back(std::to_string(le(e, 4)) + " " + std::to_string(le(e, 0x1C, 2)) +
                               " " + std::to_string(le(e, 0x22)));
        }
    }
    EXPECT_EQ(contacts, (std::vector<std::string>{"2 465 12", "1 319 2", "1 465 3"}));
}

// A heavy history keeps to the years ICQ was used instead of running on for decades.
TEST(IcqDb, LargeHistoryStaysWithinTheIcqYears) {
    IcqDatabaseContent content = realisticIcqDatabase(4711, 40, 0, 2);
    content.historyMessages = 100000;
    IcqHistory history(content, 7);
    uint32_t last = 0;
    for (uint64_t i = 0; i < content.historyMessages; ++i) {
        bool leftover = false;
        const uint32_t time = history.next(leftover).fields.time;
        ASSERT_GE(time, last);
        last = time;
    }
    EXPECT_LT(last, 1293840000u); // 2011-01-01
}

} // namespace
