// The structured reader of ICQ databases over a damaged or hostile .dat and .idx: the input is
// a 4-byte little-endian length L, then the .idx (L bytes, none when L is 0), then the .dat.
// Both walks run (index tree and allocation bitmap), and each opened database is streamed in
// both orders.

#include "archive/database.h"
#include "fuzzsupport.h"
#include "text/utf8.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

using fuzzsupport::fail;

void checkLine(const std::string& text, const char* what) {
    if (text.empty() || text.find('\n') != std::string::npos) {
        fail(std::string(what) + " is not one line: " + text);
    }
}

void checkUtf8(const std::string& text, const char* what) {
    if (!text::isValidUtf8(text)) {
        fail(std::string(what) + " is not UTF-8");
    }
}

void check(const archive::Database& db) {
    for (const std::string& w : db.report().warnings) {
        checkLine(w, "a warning");
    }
    const std::vector<archive::Contact>& contacts = db.contacts();
    for (size_t i = 0; i < contacts.size(); ++i) {
        if (i > 0 && contacts[i - 1].uin >= contacts[i].uin) {
            fail("contacts not sorted by UIN without repeats");
        }
        checkUtf8(contacts[i].nickName + contacts[i].handle + contacts[i].firstName +
                      contacts[i].lastName,
                  "a contact's names");
    }
    checkUtf8(db.owner().nickName + db.owner().firstName + db.owner().lastName, "the owner");
    uint64_t inFileOrder = 0;
    db.forEachMessage([&](const archive::Message& m) {
        checkUtf8(m.text, "a message text");
        checkUtf8(m.url, "a URL");
        ++inFileOrder;
        return true;
    });
    uint64_t byContact = 0;
    std::pair<uint32_t, int64_t> last{0, INT64_MIN};
    db.forEachMessageByContact([&](const archive::Message& m) {
        if (m.uin < last.first || (m.uin == last.first && m.time < last.second)) {
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
    static const fuzzsupport::ScratchDir scratch;
    const std::string dat = scratch.file("12345678.dat");
    const std::string idx = scratch.file("12345678.idx");
    uint32_t length = 0;
    if (size >= 4) {
        std::memcpy(&length, data, 4);
    }
    const size_t rest = size >= 4 ? size - 4 : 0;
    const size_t idxSize = std::min<size_t>(length, rest);
    const std::string_view input = fuzzsupport::asText(data, size);
    std::remove(idx.c_str());
    if (idxSize > 0) {
        fuzzsupport::writeBytes(idx, input.substr(4, idxSize));
    }
    fuzzsupport::writeBytes(dat, size >= 4 ? input.substr(4 + idxSize) : input);

    for (const bool useIndex : {true, false}) {
        archive::Settings settings;
        settings.useIndex = useIndex;
        std::string error;
        const std::unique_ptr<archive::Database> db = archive::Database::open(dat, settings, error);
        if (db) {
            check(*db);
        } else {
            checkLine(error, "the error");
        }
    }
    return 0;
}
