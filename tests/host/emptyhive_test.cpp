#include "emptyhive.h"

#include <hivex.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "support/tempdir.h"

namespace {

using testsupport::TempDir;

uint32_t le32(const std::string& b, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

struct HiveCloser {
    void operator()(hive_h* h) const { hivex_close(h); }
};
using Hive = std::unique_ptr<hive_h, HiveCloser>;

TEST(EmptyHive, HeaderAndCellsAreWhatWindowsWrites) {
    const std::string hive = mkwin::emptyHive();
    ASSERT_EQ(hive.size(), mkwin::kEmptyHiveSize);
    EXPECT_EQ(hive.substr(0, 4), "regf");
    EXPECT_EQ(le32(hive, 0x04), le32(hive, 0x08)); // sequence numbers match
    EXPECT_EQ(le32(hive, 0x14), 1u);
    EXPECT_EQ(le32(hive, 0x18), 3u);
    EXPECT_EQ(le32(hive, 0x24), 0x20u);   // root cell
    EXPECT_EQ(le32(hive, 0x28), 0x1000u); // one bin
    uint32_t sum = 0;
    for (size_t at = 0; at < 0x1FC; at += 4) {
        sum ^= le32(hive, at);
    }
    EXPECT_EQ(le32(hive, 0x1FC), sum);

    EXPECT_EQ(hive.substr(0x1000, 4), "hbin");
    const size_t nk = 0x1020;
    EXPECT_EQ(hive.substr(nk + 4, 2), "nk");
    EXPECT_EQ(static_cast<unsigned char>(hive[nk + 6]), 0x2C);
    EXPECT_EQ(le32(hive, nk + 0x34), 0xFFFFFFFFu); // no class name
    // The cells fill the bin exactly: allocated nk and sk (negative sizes), then one free cell.
    size_t at = 0x1020;
    int allocated = 0;
    while (at < 0x2000) {
        const auto size = static_cast<int32_t>(le32(hive, at));
        ASSERT_NE(size, 0);
        allocated += size < 0;
        at += static_cast<size_t>(size < 0 ? -size : size);
    }
    EXPECT_EQ(at, 0x2000u);
    EXPECT_EQ(allocated, 2);
    EXPECT_EQ(hive.substr(0x1000 + le32(hive, nk + 0x30) + 4, 2), "sk");
}

TEST(EmptyHive, HivexOpensItWithItsRootKey) {
    TempDir dir;
    std::string error;
    ASSERT_TRUE(mkwin::writeEmptyHive(dir.file("empty"), error)) << error;
    Hive hive(hivex_open(dir.file("empty").c_str(), 0));
    ASSERT_TRUE(hive);
    const hive_node_h root = hivex_root(hive.get());
    ASSERT_NE(root, 0u);
    std::unique_ptr<char, decltype(&std::free)> name(hivex_node_name(hive.get(), root), std::free);
    EXPECT_STREQ(name.get(), "ROOT");
    EXPECT_EQ(hivex_node_nr_children(hive.get(), root), 0u);
    EXPECT_EQ(hivex_node_nr_values(hive.get(), root), 0u);
}

TEST(WriteHive, WritesKeysAndValuesHivexReadsBack) {
    TempDir dir;
    const std::string path = dir.file("NTUSER.DAT");
    mkwin::RegistryTree tree;
    tree.setString("Software\\Mirabilis\\ICQ\\DefaultPrefs", "Default Server Host",
                   "login.icq.com");
    tree.setDword("software\\MIRABILIS\\ICQ\\DefaultPrefs\\", "Default Server Port", 5190);
    tree.setExpandString("Software\\Sounds", "", "%Windir%\\ding.wav");
    tree.setRaw("Software\\Raw", "bin", mkwin::kHiveBinary, std::string("\0\x01", 2));
    tree.key("Software\\Empty\\Deep");
    std::string error;
    ASSERT_TRUE(mkwin::writeHive(path, tree, error)) << error;
    Hive hive(hivex_open(path.c_str(), 0));
    ASSERT_TRUE(hive);
    hive_node_h node = hivex_root(hive.get());
    for (const char* name : {"Software", "Mirabilis", "ICQ", "DefaultPrefs"}) {
        node = hivex_node_get_child(hive.get(), node, name);
        ASSERT_NE(node, 0u) << name;
    }
    EXPECT_EQ(hivex_node_nr_values(hive.get(), node), 2u);
    const hive_value_h port = hivex_node_get_value(hive.get(), node, "Default Server Port");
    EXPECT_EQ(hivex_value_dword(hive.get(), port), 5190);
    const hive_value_h host = hivex_node_get_value(hive.get(), node, "Default Server Host");
    std::unique_ptr<char, decltype(&std::free)> text(hivex_value_string(hive.get(), host),
                                                     std::free);
    EXPECT_STREQ(text.get(), "login.icq.com");

    const hive_node_h software =
        hivex_node_get_child(hive.get(), hivex_root(hive.get()), "Software");
    EXPECT_EQ(hivex_node_nr_children(hive.get(), software), 4u); // Mirabilis, Sounds, Raw, Empty
}

TEST(WriteHive, NamesAnUnwritablePath) {
    std::string error;
    EXPECT_FALSE(mkwin::writeHive("/nonexistent/hive", mkwin::RegistryTree(), error));
    EXPECT_EQ(error, "/nonexistent/hive: cannot write the hive file (No such file or directory)");
}

} // namespace
