#include "text/names.h"

#include <string>

#include <gtest/gtest.h>

namespace {

TEST(Names, FoldAsWindowsComparesNames) {
    const struct {
        const char* a;
        const char* b;
        bool equal;
    } names[] = {
        {"Default Server Host", "DEFAULT server HOST", true},
        {"\303\234ber \xC5\xB8", "\303\274BER \xC3\xBF", true},         // Über Ÿ / üBER ÿ
        {"\xC5\x81\xC3\xB3\xC5\xBA", "\xC5\x82\xC3\x93\xC5\xB9", true}, // Łóź / łÓŹ
        {"\xCE\xA3\xD0\x96\xD0\x81", "\xCF\x83\xD0\xB6\xD1\x91", true}, // ΣЖЁ / σжё
        {"\xC3\x97", "\xC3\xB7", false}, // multiplication and division signs
        {"a\xFF", "A\xFF", true},        // bytes that are no UTF-8 are kept
    };
    for (const auto& n : names) {
        EXPECT_EQ(text::foldName(n.a) == text::foldName(n.b), n.equal) << n.a << " / " << n.b;
        EXPECT_EQ(text::foldName(n.a).size(), std::string(n.a).size()) << n.a;
    }
}

} // namespace
