#include "plugin/tarvex.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace {

// Every identity text fills exactly `length` bytes: zero-filled when shorter, unterminated when
// as long or longer; nothing beyond `length` is touched.
TEST(Identity, TextsFillExactlyLengthBytes) {
    tarvex object(nullptr);
    plugin& host = object;
    using Getter = char* (plugin::*)(char*, int);
    const std::pair<Getter, std::string> texts[] = {
        {&plugin::getName, "ICQ"},
        {&plugin::getDescription, "ICQ Importer Plugin"},
        {&plugin::getToolTip, "ICQ Instant Messanger"},
        {&plugin::getMajorCategory, "Communication"},
        {&plugin::getMinorCategory, "Instant Messanger"},
        {&plugin::getInternalCategory, "ICQ"}};
    for (const auto& [getter, text] : texts) {
        for (const size_t length : {size_t{2}, text.size(), text.size() + 3}) {
            std::string buffer(30, 'x');
            EXPECT_EQ((host.*getter)(buffer.data(), static_cast<int>(length)), buffer.data());
            std::string expected = text.substr(0, length);
            expected.resize(length, '\0');
            EXPECT_EQ(buffer, expected + std::string(30 - length, 'x')) << text;
        }
    }
}

} // namespace
