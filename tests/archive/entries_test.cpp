#include "archive/entries.h"

#include "icqentries.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

// Whole entries of every layout are read through the database; here, entries that do not fit.

namespace {

using archive::ContactEntry;
using archive::EntryHeader;
using archive::MessageEntry;
using namespace std::string_literals;

const uint8_t* bytes(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

std::string entry(uint32_t filed, uint32_t id, std::string_view signature,
                  const std::string& body) {
    std::string out;
    mkwin::appendRecord(out, filed, id, signature, body);
    return out;
}

// A contact entry of ICQ 2000b whose one property, NickName, has `tail` after its name.
std::string contactWith(const std::string& tail) {
    std::vector<mkwin::IcqPropertyBlock> blocks(1);
    blocks[0].text("NickName", "joe");
    const std::string e = entry(1, 2001, mkwin::kIcqContactSignature,
                                mkwin::icqContactBody(465, 2, 1000, blocks, {}));
    return e.substr(0, e.find("NickName") + 9) + tail;
}

TEST(DamagedEntries, NameWhatDoesNotFit) {
    const std::pair<std::string, const char*> cases[] = {
        {"\x10\0\0\0"s, "entry of 4 bytes, shorter than its header (28)"},
        {entry(0, 2002, mkwin::kIcqMessageSignature,
               mkwin::icqMessageBody(465, mkwin::IcqMessageFields{}).substr(0, 30)),
         "footer at 0x39: past the end of the entry"},
        {contactWith("k\xF4\x01joe\0"s),
         "properties from 0x32: block 1 of 1: property \"NickName\": text length 500 past the end "
         "of the entry (4 bytes left)"},
        {contactWith("\x70\x01\x02\x03\x04"s),
         "properties from 0x32: block 1 of 1: property \"NickName\": unknown type 0x70"},
        {entry(1, 2001, mkwin::kIcqContactSignature, "\xD1\x01RESU\0\0\0\0"s),
         "'USER' mark at 0x1e: not there"},
    };
    for (const auto& [e, expected] : cases) {
        EntryHeader h;
        std::string problem;
        bool ok = archive::readEntryHeader(bytes(e), e.size(), h, problem);
        if (ok && h.kind == archive::format::Kind::Contact) {
            ContactEntry c;
            ok = archive::parseContact(bytes(e), e.size(), h.build, c, problem);
        } else if (ok) {
            MessageEntry m;
            ok = archive::parseMessage(bytes(e), e.size(), h.form, h.build, m, problem);
        }
        EXPECT_FALSE(ok);
        EXPECT_EQ(problem, expected);
    }
}

} // namespace
