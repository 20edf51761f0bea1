#include "archive/vcard.h"

#include "support/samplearchive.h"

#include <string>

#include <gtest/gtest.h>

namespace {

TEST(VCard, ContactOnTheListWithEveryField) {
    const testsupport::SampleArchive sample;
    EXPECT_EQ(archive::vcard(sample.archive.contacts[0], "Friends, old"),
              "BEGIN:VCARD\r\n"
              "VERSION:4.0\r\n"
              "FN:Ali\\; the \"great\"\r\n"
              "N:\xC3\x85"
              "berg;Alice;;;\r\n"
              "NICKNAME:Alice\r\n"
              "EMAIL;PREF=1:alice@example.com\r\n"
              "EMAIL:a2@example.com\r\n"
              "IMPP:icq:2222\r\n"
              "CATEGORIES:Friends\\, old\r\n"
              "X-ICQ-STATUS:on-list\r\n"
              "END:VCARD\r\n");
}

TEST(VCard, ContactsOffTheListAreMarked) {
    const testsupport::SampleArchive sample;
    archive::Contact carl = sample.archive.contacts[1];
    carl.nickName = "C\\a,r;l\r\n2";
    EXPECT_EQ(archive::vcard(carl, ""),
              "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:C\\\\a\\,r\\;l 2\r\nNICKNAME:C\\\\a\\,r\\;l\\n2\r\n"
              "IMPP:icq:3333\r\nX-ICQ-STATUS:removed\r\nNOTE:Removed from the ICQ contact list\r\n"
              "END:VCARD\r\n");
    EXPECT_NE(archive::vcard(sample.archive.contacts[2], "")
                  .find("\r\nNOTE:Known only from the ICQ message history\r\n"),
              std::string::npos);
}

std::string repeated(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) {
        out += s;
    }
    return out;
}

TEST(VCard, LongLinesFoldAt75OctetsBetweenCharacters) {
    const std::string ae = "\xC3\xA4";
    archive::Contact contact;
    contact.uin = 1;
    contact.handle = "a" + repeated(ae, 99) + "b"; // 200 bytes
    const std::string card = archive::vcard(contact, "");
    // "FN:a" and 35 letters make 74 octets: the 36th letter would pass 75.
    EXPECT_NE(card.find("\r\nFN:a" + repeated(ae, 35) + "\r\n " + repeated(ae, 37) + "\r\n " +
                        repeated(ae, 27) + "b\r\n"),
              std::string::npos)
        << card;
}

} // namespace
