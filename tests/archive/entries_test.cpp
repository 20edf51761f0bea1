#include "archive/entries.h"

#include "icqentries.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using archive::ContactEntry;
using archive::EntryHeader;
using archive::MessageEntry;
using archive::OwnerEntry;
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

EntryHeader header(const std::string& e) {
    EntryHeader h;
    std::string problem;
    EXPECT_TRUE(archive::readEntryHeader(bytes(e), e.size(), h, problem)) << problem;
    return h;
}

struct Layout {
    uint16_t build;
    const char* version;
};

void PrintTo(const Layout& l, std::ostream* os) {
    *os << l.build;
}

class EntryLayouts : public ::testing::TestWithParam<Layout> {};

// Owner, contact and message entries of one build, as that client writes them, read back by
// the layout the build selects.
TEST_P(EntryLayouts, ReadAsTheirBuildWroteThem) {
    const uint16_t build = GetParam().build;
    const bool v99a = build < 300;
    EXPECT_EQ(archive::format::versionOfBuild(build), GetParam().version);

    std::vector<mkwin::IcqPropertyBlock> blocks(1);
    blocks[0].word("Age", 'f', 30);
    if (!v99a) {
        blocks[0].text("FirstName", "J\xF6rg");
        blocks[0].text("LastName", "M\xFCller");
        blocks[0].text("MyDefinedHandle", "J\xF6rg from K\xF6ln");
        blocks[0].text("NickName", "joe");
        blocks[0].text("Password", "secret");
        blocks[0].text("PrimaryEmail", "j@web.de");
        blocks[0].texts("MoreEmails", {"j2@web.de", "j3@web.de"});
        blocks[0].integer("UIN", 4711042);
        mkwin::IcqPropertyBlock phone;
        phone.text("NickName", "not the contact's");
        std::string nested;
        phone.appendTo(nested, build);
        blocks[0].blocks("Phones", 1, nested);
        blocks.emplace_back().text("About", std::string(300, 'a'));
    }
    const mkwin::IcqIdentity identity{
        "J\xF6rg from K\xF6ln", "joe", "J\xF6rg", "M\xFCller", "j@web.de", 4711042};

    const std::string contact = entry(1, 2001, mkwin::kIcqContactSignature,
                                      mkwin::icqContactBody(build, 3, 1001, blocks, identity));
    EXPECT_EQ(header(contact).kind, archive::format::Kind::Contact);
    EXPECT_EQ(header(contact).build, build);
    ContactEntry c;
    std::string problem;
    ASSERT_TRUE(archive::parseContact(bytes(contact), contact.size(), build, c, problem))
        << problem;
    EXPECT_EQ(c.status, 3u);
    EXPECT_EQ(c.group, 1001u);
    EXPECT_TRUE(c.identity.hasUin);
    EXPECT_EQ(c.identity.uin, 4711042u);
    EXPECT_EQ(c.identity.nickName, "joe");
    EXPECT_EQ(c.identity.handle, "J\xF6rg from K\xF6ln");
    EXPECT_EQ(c.identity.firstName, "J\xF6rg");
    EXPECT_EQ(c.identity.lastName, "M\xFCller");
    EXPECT_EQ(c.identity.primaryEmail, "j@web.de");
    EXPECT_EQ(c.identity.otherEmails.size(), v99a ? 0u : 2u);

    const std::vector<mkwin::IcqGroup> groups = {{1000, "Friends"}, {1001, "Fam\xEDlia"}};
    const std::string owner = entry(0xFFFFFFFF, 1005, mkwin::kIcqOwnerSignature,
                                    mkwin::icqOwnerBody(build, blocks, identity, groups));
    EXPECT_EQ(header(owner).kind, archive::format::Kind::Owner);
    OwnerEntry o;
    ASSERT_TRUE(archive::parseOwner(bytes(owner), owner.size(), build, o, problem)) << problem;
    EXPECT_EQ(o.identity.uin, 4711042u);
    EXPECT_EQ(o.identity.nickName, "joe");
    if (v99a) {
        EXPECT_EQ(o.groupProblem, "the groups of ICQ 99a's owner entry are not read");
    } else {
        EXPECT_EQ(o.groupProblem, "");
        ASSERT_EQ(o.groups.size(), 2u);
        EXPECT_EQ(o.groups[1].id, 1001u);
        EXPECT_EQ(o.groups[1].name, "Fam\xEDlia");
    }

    mkwin::IcqMessageFields fields;
    fields.uin = 4711042;
    fields.time = 1000000000;
    fields.sent = true;
    fields.text = "hi\r\nthere";
    fields.longForm = true;
    fields.rtf = "{\\rtf1 hi\\par there}";
    fields.utf8 = "hi\r\nthere \xE2\x82\xAC";
    const std::string message =
        entry(0, 2002, mkwin::kIcqLongMessageSignature, mkwin::icqMessageBody(build, fields));
    EXPECT_EQ(header(message).form, 1);
    MessageEntry m;
    ASSERT_TRUE(archive::parseMessage(bytes(message), message.size(), 1, build, m, problem))
        << problem;
    EXPECT_EQ(m.flags, 4u);
    EXPECT_EQ(m.uin, 4711042u);
    EXPECT_EQ(m.time, 1000000000u);
    EXPECT_EQ(m.text, "hi\r\nthere");
    EXPECT_EQ(m.utf8, build >= 515 ? fields.utf8 : "");
    EXPECT_EQ(m.rtf, build >= 515 ? fields.rtf : "");
}

INSTANTIATE_TEST_SUITE_P(Builds, EntryLayouts,
                         ::testing::Values(Layout{250, "99a"}, Layout{319, "99b"},
                                           Layout{450, "2000a"}, Layout{465, "2000b"},
                                           Layout{505, "2001a"}, Layout{520, "2001b"},
                                           Layout{533, "2002a"}, Layout{545, "2003a"}));

TEST(EntryKinds, SignaturesNameTheirKind) {
    const std::pair<std::string_view, const char*> cases[] = {
        {mkwin::kIcqMessageSignature, "message"},
        {mkwin::kIcqUrlSignature, "message"},
        {mkwin::kIcqLongMessageSignature, "message"},
        {mkwin::kIcqOwnerSignature, "owner"},
        {mkwin::kIcqContactSignature, "contact"},
        {mkwin::kIcqNoteSignature, "note"},
        {mkwin::kIcqFolderSignature, "event folder"},
        {mkwin::kIcqLabelSignature, "label"},
        {"\x01\x02", "unknown"},
        {"", "filing index"}};
    for (const auto& [signature, name] : cases) {
        const EntryHeader h = header(entry(0, 7, signature, "\x01\x02"));
        EXPECT_STREQ(archive::format::kindName(h.kind), name);
    }
}

struct Damage {
    const char* label;
    std::string entry;
    const char* problem;
};

void PrintTo(const Damage& d, std::ostream* os) {
    *os << d.label;
}

std::string contactWith(const std::string& properties) {
    std::string body;
    mkwin::appendLe16(body, 465);
    body += "USER";
    mkwin::appendLe32(body, 2);
    mkwin::appendLe32(body, 1000);
    mkwin::appendLe16(body, 465);
    mkwin::appendLe32(body, 0); // no sounds
    mkwin::appendLe16(body, 465);
    mkwin::appendLe32(body, 1); // one block
    mkwin::appendLe16(body, 465);
    mkwin::appendLe32(body, 1); // one property
    return entry(1, 2001, mkwin::kIcqContactSignature, body + properties);
}

std::string messageWithTextLength(uint16_t length) {
    std::string e = entry(0, 2002, mkwin::kIcqMessageSignature,
                          mkwin::icqMessageBody(465, mkwin::IcqMessageFields{}));
    e[0x28] = static_cast<char>(length & 0xFF);
    e[0x29] = static_cast<char>(length >> 8);
    return e;
}

class DamagedEntries : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedEntries, NameWhatDoesNotFit) {
    const std::string& e = GetParam().entry;
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
    EXPECT_EQ(problem, GetParam().problem);
}

std::string textProperty(const std::string& name, uint16_t length, const std::string& text) {
    std::string out;
    mkwin::appendTextPropertyWithLength(out, name, length, text);
    return out;
}

const Damage kDamages[] = {
    {"shorter than a header", "\x10\0\0\0"s, "entry of 4 bytes, shorter than its header (28)"},
    {"text past the entry", messageWithTextLength(900),
     "text at 0x28: length 900 past the end of the entry (34 bytes left)"},
    {"footer cut", messageWithTextLength(30), "footer at 0x4c: past the end of the entry"},
    {"property text past the entry", contactWith(textProperty("NickName", 500, "joe")),
     "properties from 0x32: block 1 of 1: property \"NickName\": text length 500 past the end "
     "of the entry (4 bytes left)"},
    {"unknown property type", contactWith("\x04\0UIN\0\x70\x01\x02\x03\x04"s),
     "properties from 0x32: block 1 of 1: property \"UIN\": unknown type 0x70"},
    {"no USER mark", entry(1, 2001, mkwin::kIcqContactSignature, "\xD1\x01RESU\0\0\0\0"s),
     "'USER' mark at 0x1e: not there"},
};

INSTANTIATE_TEST_SUITE_P(Cases, DamagedEntries, ::testing::ValuesIn(kDamages));

} // namespace
