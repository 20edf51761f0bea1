#include "archive/walk.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using archive::Leaf;

// The walks themselves are tested through the database; here the leaves' order.
TEST(LeafRuns, HandsTheLeavesOverByOffsetWhereverItKeepsThem) {
    std::vector<Leaf> leaves;
    for (uint32_t i = 0; i < 5000; ++i) {
        // Tree order is not file order; two leaves of one offset come by their IDs.
        leaves.push_back({(i * 7919u) % 5003u * 64u + 8u, 5000 - i});
    }
    leaves.push_back({leaves[10].offset, 1});
    std::vector<Leaf> sorted = leaves;
    std::sort(sorted.begin(), sorted.end(), [](const Leaf& a, const Leaf& b) {
        return a.offset != b.offset ? a.offset < b.offset : a.id < b.id;
    });
    for (const size_t limit : {size_t{1}, size_t{3}, size_t{4096}, size_t{10000}}) {
        SCOPED_TRACE(limit);
        archive::LeafRuns runs(limit);
        for (const Leaf& leaf : leaves) {
            runs.add(leaf);
            ASSERT_LE(runs.held(), limit);
        }
        std::vector<Leaf> handed;
        std::string problem;
        ASSERT_TRUE(runs.forEach(
            [&handed](const Leaf* batch, size_t n) {
                handed.insert(handed.end(), batch, batch + n);
                return true;
            },
            problem))
            << problem;
        ASSERT_EQ(handed.size(), sorted.size());
        for (size_t i = 0; i < handed.size(); ++i) {
            ASSERT_EQ(handed[i].offset, sorted[i].offset) << i;
            ASSERT_EQ(handed[i].id, sorted[i].id) << i;
        }
    }
}

} // namespace
