#include "dialogs/ownername.h"

#include <string>

#include <gtest/gtest.h>

namespace {

// UTF-8 stays; anything else is Windows-1252 (undefined bytes become U+FFFD); a trailing line
// end goes.
TEST(OwnerDisplayName, ShowsTheName) {
    const std::pair<std::string, std::string> cases[] = {
        {"Alice", "Alice"},
        {"", ""},
        {"J\xC3\xBCrgen \xE2\x82\xAC", "J\xC3\xBCrgen \xE2\x82\xAC"},
        {"J\xFCrgen", "J\xC3\xBCrgen"},
        {"\x80\x8A\x93x\x9F", "\xE2\x82\xAC\xC5\xA0\xE2\x80\x9Cx\xC5\xB8"},
        {"a\x81\x9D", "a\xEF\xBF\xBD\xEF\xBF\xBD"},
        // A lead byte cut off at the end is not UTF-8: the whole name is Windows-1252.
        {"Ren\xC3", "Ren\xC3\x83"},
        {"\xC0\xAF", "\xC3\x80\xC2\xAF"},
        {"Bob\r\n", "Bob"},
        {"B\rob\r", "B\rob"},
        {"J\xFCrgen\r", "J\xC3\xBCrgen"},
        {std::string("a\0b", 3), std::string("a\0b", 3)}};
    for (const auto& [bytes, shown] : cases) {
        EXPECT_EQ(dialogs::ownerDisplayName(bytes).toStdString(), shown) << bytes;
    }
}

} // namespace
