#include "archive/walk.h"

#include "icqdb.h"
#include "support/tempdir.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace {

using testsupport::TempDir;
/// Offsets and IDs of entries.
using Entries = std::vector<std::pair<uint64_t, uint32_t>>;

// What a walk handed over, in order.
struct Recorder : archive::WalkSink {
    void entry(uint64_t offset, const uint8_t* data, size_t size) override {
        uint32_t id = 0;
        std::memcpy(&id, data + 8, 4);
        entries.push_back({offset, id});
        EXPECT_EQ(size, 4 + static_cast<size_t>(data[0] | data[1] << 8 | data[2] << 16));
    }
    void unreadable(uint64_t offset, const std::string& problem) override {
        problems.push_back(std::to_string(offset) + ": " + problem);
    }
    void warning(const std::string& problem) override { problems.push_back(problem); }

    Entries entries;
    std::vector<std::string> problems;
};

uint32_t le32(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
}

void setLe32(std::string& bytes, size_t at, uint32_t v) {
    std::memcpy(bytes.data() + at, &v, 4);
}

class Walks : public ::testing::Test {
protected:
    void SetUp() override {
        content_ = mkwin::realisticIcqDatabase(4711, 60, 300000, 4);
        std::string error;
        auto files = mkwin::icqDatabaseFiles(content_, error);
        ASSERT_TRUE(files) << error;
        files_ = std::move(*files);
        for (const mkwin::IcqEntryPlace& p : files_.places) {
            if (p.live) {
                live_.push_back({p.offset, p.id});
            }
        }
    }

    Recorder bitmap(const std::string& dat) {
        testsupport::writeFile(dir_.file("1.dat"), dat);
        archive::ReadOnlyFile file;
        std::string error;
        EXPECT_TRUE(file.open(dir_.file("1.dat"), error)) << error;
        Recorder r;
        archive::walkBitmap(file, r);
        return r;
    }

    // The tree's leaves handed over, or the problem that stopped the walk.
    std::pair<Recorder, std::string> tree(const std::string& idx, const std::string& dat) {
        testsupport::writeFile(dir_.file("1.idx"), idx);
        testsupport::writeFile(dir_.file("1.dat"), dat);
        archive::ReadOnlyFile idxFile;
        archive::ReadOnlyFile datFile;
        std::string error;
        EXPECT_TRUE(idxFile.open(dir_.file("1.idx"), error) &&
                    datFile.open(dir_.file("1.dat"), error));
        std::vector<archive::Leaf> leaves;
        Recorder r;
        std::string problem;
        if (archive::readIndexTree(idxFile, datFile.size(), leaves, problem)) {
            archive::walkLeaves(datFile, leaves, r, problem);
        }
        return {r, problem};
    }

    std::string idxName() const { return dir_.file("1.idx") + ": "; }

    TempDir dir_;
    mkwin::IcqDatabaseContent content_;
    mkwin::IcqDatabaseFiles files_;
    Entries live_;
};

TEST_F(Walks, TreeAndBitmapFindTheLiveEntriesInFileOrder) {
    // The writer leaves deleted entries behind; neither walk may hand them over.
    ASSERT_LT(live_.size(), files_.places.size());
    const Recorder viaBitmap = bitmap(files_.dat);
    EXPECT_EQ(viaBitmap.entries, live_);
    EXPECT_EQ(viaBitmap.problems, std::vector<std::string>());
    const auto [viaTree, problem] = tree(files_.idx, files_.dat);
    EXPECT_EQ(problem, "");
    EXPECT_EQ(viaTree.entries, live_);
}

struct IndexDamage {
    const char* label;
    std::function<void(std::string& idx, uint32_t root)> damage;
    std::function<std::string(uint32_t root, uint32_t size)> problem;
};

void PrintTo(const IndexDamage& d, std::ostream* os) {
    *os << d.label;
}

std::string hex(uint64_t v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%llx", static_cast<unsigned long long>(v));
    return buffer;
}

class DamagedIndex : public Walks, public ::testing::WithParamInterface<IndexDamage> {};

TEST_P(DamagedIndex, IsNotTrustedAndSaysWhere) {
    std::string idx = files_.idx;
    const uint32_t root = le32(idx, 12);
    GetParam().damage(idx, root);
    const auto [r, problem] = tree(idx, files_.dat);
    EXPECT_EQ(problem, idxName() + GetParam().problem(root, static_cast<uint32_t>(idx.size())));
}

const IndexDamage kIndexDamages[] = {
    {"loop", [](std::string& idx, uint32_t root) { setLe32(idx, root + 12, root); },
     [](uint32_t root, uint32_t) {
         return "the node at " + hex(root) + " points at the node at " + hex(root) +
                " a second time (a loop in the tree)";
     }},
    {"pointer past the end",
     [](std::string& idx, uint32_t root) {
         setLe32(idx, root + 8, static_cast<uint32_t>(idx.size()) + 100);
     },
     [](uint32_t root, uint32_t size) {
         return "the node at " + hex(root) + " points at " + hex(size + 100) +
                ", which is not a node of the index (" + std::to_string(size) + " bytes)";
     }},
    {"pointer into a node",
     [](std::string& idx, uint32_t root) { setLe32(idx, root + 8, root + 4); },
     [](uint32_t root, uint32_t size) {
         return "the node at " + hex(root) + " points at " + hex(root + 4) +
                ", which is not a node of the index (" + std::to_string(size) + " bytes)";
     }},
    {"root past the end", [](std::string& idx, uint32_t) { setLe32(idx, 12, 1u << 30); },
     [](uint32_t, uint32_t size) {
         return "the root pointer points at " + hex(1u << 30) +
                ", which is not a node of the index (" + std::to_string(size) + " bytes)";
     }},
    {"not an index header", [](std::string& idx, uint32_t) { setLe32(idx, 4, 21); },
     [](uint32_t, uint32_t) {
         return std::string("not an ICQ index (expected the header 4, 20, 8)");
     }},
};

INSTANTIATE_TEST_SUITE_P(Cases, DamagedIndex, ::testing::ValuesIn(kIndexDamages));

TEST_F(Walks, ALeafOfAnotherEntryMakesTheIndexStale) {
    // The first leaf (slot 0) is given the offset of another live entry.
    std::string idx = files_.idx;
    const size_t leaf = 20 + 205;
    const auto other = live_.back();
    setLe32(idx, leaf + 16, static_cast<uint32_t>(other.first));
    const auto [r, problem] = tree(idx, files_.dat);
    EXPECT_EQ(problem, dir_.file("1.dat") + ": the index leads to entry 0 at offset " +
                           hex(other.first) + ", which holds entry " +
                           std::to_string(other.second));
}

TEST_F(Walks, AnIndexThatMissesEntriesIsStale) {
    // A deleted entry's slots allocated again, as if written after the index.
    std::string dat = files_.dat;
    const auto leftover = std::find_if(files_.places.begin(), files_.places.end(),
                                       [](const mkwin::IcqEntryPlace& p) { return !p.live; });
    ASSERT_NE(leftover, files_.places.end());
    const size_t page = 8 + (leftover->offset - 8) / 64205 * 64205;
    const uint32_t first = (leftover->offset - page - 205) / 64;
    const uint32_t slots = (leftover->size + 63) / 64;
    for (uint32_t slot = first; slot < first + slots; ++slot) {
        dat[page + 0x50 + slot / 8] =
            static_cast<char>(dat[page + 0x50 + slot / 8] | (0x80 >> (slot % 8)));
    }
    uint64_t covered = 0;
    for (const mkwin::IcqEntryPlace& p : files_.places) {
        covered += p.live ? (p.size + 63) / 64 : 0;
    }
    const auto [r, problem] = tree(files_.idx, dat);
    EXPECT_EQ(problem, dir_.file("1.dat") + ": the index leads to entries in " +
                           std::to_string(covered) + " slots, but " +
                           std::to_string(covered + slots) +
                           " slots are allocated (the index is older than the data file)");
    // The bitmap finds the entry the index does not know.
    const Recorder found = bitmap(dat);
    EXPECT_EQ(found.entries.size(), live_.size() + 1);
}

TEST_F(Walks, DamagedEntriesAreReportedAndTheRestIsRead) {
    std::string dat = files_.dat;
    // An entry whose length runs past its page, and a page whose header is garbage.
    const auto damaged = live_[20];
    setLe32(dat, damaged.first, 70000);
    const size_t secondPage = 8 + 64205;
    setLe32(dat, secondPage, 7);
    Entries expected;
    for (const auto& e : live_) {
        if (e != damaged && (e.first < secondPage || e.first >= secondPage + 64205)) {
            expected.push_back(e);
        }
    }
    const Recorder r = bitmap(dat);
    ASSERT_EQ(r.problems.size(), 2u);
    const uint64_t room = 64000 - ((damaged.first - 8) % 64205 - 205);
    EXPECT_EQ(r.problems.front(), std::to_string(damaged.first) +
                                      ": length 70000 past the end of its page (" +
                                      std::to_string(room) +
                                      " bytes left); the 2 allocated slots after it hold no entry");
    EXPECT_EQ(r.problems.back(), dir_.file("1.dat") + ": data page at offset " + hex(secondPage) +
                                     ": not a data page header (expected 201, kind 0, slot size "
                                     "64; found 7, 0, 64); its entries are skipped");
    // The slots of the damaged entry are walked one by one; what they hold is no live entry.
    Entries found;
    for (const auto& e : r.entries) {
        if (std::find(live_.begin(), live_.end(), e) != live_.end()) {
            found.push_back(e);
        }
    }
    EXPECT_EQ(found, expected);
}

TEST_F(Walks, AFileCutShortEndsTheWalkWithAWord) {
    const auto cut = live_[live_.size() - 3];
    const std::string dat = files_.dat.substr(0, cut.first + 10);
    const Recorder r = bitmap(dat);
    EXPECT_EQ(r.entries, Entries(live_.begin(), live_.end() - 3));
    ASSERT_EQ(r.problems.size(), 1u);
    EXPECT_EQ(r.problems[0].substr(0, r.problems[0].find(": ")), std::to_string(cut.first));
    EXPECT_EQ(r.problems[0].substr(r.problems[0].find(" past")),
              " past the end of the file (10 bytes left)");
}

} // namespace
