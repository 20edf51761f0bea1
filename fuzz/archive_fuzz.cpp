// The structured reader of ICQ databases over a damaged or hostile .dat and .idx: the input is
// a 4-byte little-endian length L, then the .idx (L bytes, none when L is 0), then the .dat.
// Both walks run (index tree and allocation bitmap), each handing the messages over while it
// walks, and each opened database is streamed in both orders; the owner entry is read alone
// as the window's list reads it.

#include <cstdio>
#include <cstring>

#include "archive/database.h"
#include "archive/peek.h"
#include "fuzzsupport.h"
#include "text/utf8.h"

namespace {

using fuzzsupport::fail;

void checkLines(const std::vector<std::string>& messages) {
    for (const std::string& message : messages) {
        if (message.empty() || message.find('\n') != std::string::npos) {
            fail("a message is not one line: " + message);
        }
    }
}

// Texts go in joined by line ends, which keep a character cut at the end of one from passing.
void checkUtf8(const std::string& text) {
    if (!text::isValidUtf8(text)) {
        fail("a text is not UTF-8: " + text);
    }
}

void check(const archive::Database& db) {
    checkLines(db.report().warnings);
    const std::vector<archive::Contact>& contacts = db.contacts();
    for (size_t i = 0; i < contacts.size(); ++i) {
        if (i > 0 && contacts[i - 1].uin >= contacts[i].uin) {
            fail("contacts not sorted by UIN without repeats");
        }
        checkUtf8(contacts[i].nickName + "\n" + contacts[i].handle + "\n" + contacts[i].firstName +
                  "\n" + contacts[i].lastName);
    }
    checkUtf8(db.owner().nickName + "\n" + db.owner().firstName + "\n" + db.owner().lastName);
    uint64_t inFileOrder = 0;
    db.forEachMessage([&](const archive::Message& m) {
        checkUtf8(m.text + "\n" + m.url);
        ++inFileOrder;
        return true;
    });
    uint64_t byContact = 0;
    std::pair<uint32_t, int64_t> last{0, INT64_MIN};
    db.forEachMessageByContact([&](const archive::Message& m) {
        if (std::pair{m.uin, m.time} < last) {
            fail("messages by contact out of order");
        }
        last = {m.uin, m.time};
        ++byContact;
        return true;
    });
    if (inFileOrder != db.messageCount() || byContact != db.messageCount()) {
        fail("streams deliver " + std::to_string(inFileOrder) + " and " +
             std::to_string(byContact) + " of " + std::to_string(db.messageCount()) + " messages");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string dat = fuzzsupport::scratchFile("12345678.dat");
    const std::string idx = fuzzsupport::scratchFile("12345678.idx");
    uint32_t length = 0;
    if (size >= 4) {
        std::memcpy(&length, data, 4);
    }
    const std::string_view input = fuzzsupport::asText(data, size);
    const std::string_view index = input.substr(std::min<size_t>(size, 4), length);
    std::remove(idx.c_str());
    if (!index.empty()) {
        fuzzsupport::writeBytes(idx, index);
    }
    fuzzsupport::writeBytes(dat, size >= 4 ? input.substr(4 + index.size()) : input);

    std::string peekError;
    if (const auto peeked = archive::peekOwner(dat, "CP1252", peekError)) {
        checkUtf8(peeked->owner.nickName + "\n" + peeked->owner.firstName + "\n" +
                  peeked->owner.lastName + "\n" + peeked->owner.email + "\n" + peeked->version);
    } else {
        checkLines({peekError});
    }
    for (const bool useIndex : {true, false}) {
        archive::Settings settings;
        settings.useIndex = useIndex;
        // Beyond a few messages and leaves, the runs of temporary files are read too.
        settings.referencesInMemory = 4;
        std::string error;
        uint64_t handed = 0;
        const std::unique_ptr<archive::Database> db =
            archive::Database::open(dat, settings, error, {}, [&](const archive::Message& m) {
                checkUtf8(m.text + "\n" + m.url);
                ++handed;
                return true;
            });
        if (db) {
            check(*db);
            // A walk that went back from a stale index may have handed over more, and says how
            // many.
            if (handed - db->withdrawn() != db->messageCount()) {
                fail("opening handed over " + std::to_string(handed) + " messages, " +
                     std::to_string(db->withdrawn()) + " withdrawn, of " +
                     std::to_string(db->messageCount()));
            }
        } else {
            checkLines({error});
        }
    }
    return 0;
}
