#include "archive/readahead.h"

#include "support/tempdir.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Whatever was read ahead, each read gives the bytes at the offset it asks for: the run read
// ahead when the walk goes on where it said, a fresh read when it jumps, a short one at the end.
TEST(ReadAhead, EachReadGivesTheBytesAtItsOffset) {
    const testsupport::TempDir dir;
    std::string bytes;
    for (int i = 0; i < 5000; ++i) {
        bytes += static_cast<char>(i * 7 % 251);
    }
    testsupport::writeFile(dir.file("data"), bytes);
    archive::ReadOnlyFile file;
    std::string error;
    ASSERT_TRUE(file.open(dir.file("data"), error)) << error;
    archive::ReadAhead ahead(file);
    const struct {
        uint64_t offset;
        uint64_t next;
        size_t got;
    } reads[] = {
        {0, 1000, 1000},    // nothing read ahead yet
        {1000, 2000, 1000}, // where the last read said
        {3500, 4500, 1000}, // a jump past the run read ahead
        {4500, 5500, 500},  // the end of the file
        {200, 1200, 1000},  // back to the start, nothing left read ahead
    };
    for (const auto& r : reads) {
        std::vector<uint8_t> out;
        size_t got = 0;
        ASSERT_TRUE(ahead.read(r.offset, 1000, out, got, r.next));
        ASSERT_EQ(got, r.got) << r.offset;
        EXPECT_EQ(std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(got)),
                  bytes.substr(r.offset, got))
            << r.offset;
    }
}

} // namespace
