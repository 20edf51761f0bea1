#include "archive/refstore.h"

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

namespace archive {

bool operator==(const MessageRef& a, const MessageRef& b) {
    return a.offset == b.offset && a.size == b.size && a.uin == b.uin && a.time == b.time;
}

} // namespace archive

namespace {

using archive::MessageRef;
using archive::RefOrder;
using archive::RefStore;

// References as a walk gathers them: ascending offsets, contacts and times interleaved, some
// messages of one contact in the same second.
std::vector<MessageRef> gathered(size_t n) {
    std::vector<MessageRef> refs;
    uint32_t seed = 12345;
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245 + 12345;
        const uint32_t uin = 10000 + (seed >> 16) % 37;
        refs.push_back({static_cast<uint32_t>(100 + 64 * i), 60, uin, 1000 + (seed >> 8) % 50});
    }
    return refs;
}

std::vector<MessageRef> handed(RefStore& store, RefOrder order, size_t stopAfter = SIZE_MAX) {
    std::vector<MessageRef> out;
    std::string problem;
    EXPECT_TRUE(store.forEach(
        order,
        [&](const MessageRef* refs, size_t n) {
            out.insert(out.end(), refs, refs + n);
            return out.size() < stopAfter;
        },
        problem))
        << problem;
    return out;
}

// Held in memory or written in runs, of one reference or of many, the orders are the same; each
// order is asked for twice, after the other.
TEST(RefStore, GivesBothOrdersWhereverItKeepsTheReferences) {
    const std::vector<MessageRef> refs = gathered(9000);
    std::vector<MessageRef> byContact = refs;
    std::sort(byContact.begin(), byContact.end(), [](const MessageRef& a, const MessageRef& b) {
        return std::tie(a.uin, a.time, a.offset) < std::tie(b.uin, b.time, b.offset);
    });
    std::vector<uint32_t> uins;
    for (const MessageRef& r : byContact) {
        if (uins.empty() || uins.back() != r.uin) {
            uins.push_back(r.uin);
        }
    }
    for (const size_t limit : {size_t{1}, size_t{7}, size_t{5000}, size_t{9000}, size_t{20000}}) {
        SCOPED_TRACE(limit);
        RefStore store(limit);
        store.reserve(refs.size());
        for (const MessageRef& r : refs) {
            store.add(r);
            ASSERT_LE(store.held(), limit);
        }
        // The walk that gives up halfway reads what it gathered before it ends, and the next
        // one asks of each offset whether it was gathered.
        EXPECT_EQ(handed(store, RefOrder::File), refs);
        archive::RefCursor cursor(store);
        std::string problem;
        size_t held = 0;
        for (uint32_t offset = 4; offset < 100 + 64 * refs.size(); offset += 32) {
            held += cursor.holds(offset, problem) ? 1 : 0;
        }
        EXPECT_EQ(held, refs.size());
        EXPECT_EQ(problem, "");
        store.finish();
        EXPECT_EQ(store.held(), limit < refs.size() ? 0 : refs.size());
        EXPECT_EQ(store.size(), refs.size());
        EXPECT_EQ(store.uins(), uins);
        for (int round = 0; round < 2; ++round) {
            EXPECT_EQ(handed(store, RefOrder::ByContact), byContact);
            EXPECT_EQ(handed(store, RefOrder::File), refs);
        }
        // A visitor that answers false gets no more batches.
        EXPECT_LT(handed(store, RefOrder::ByContact, 1).size(), limit < 9000 ? 4097u : 9001u);
    }
}

} // namespace
