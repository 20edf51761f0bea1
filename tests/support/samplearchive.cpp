#include "support/samplearchive.h"

#include <algorithm>

namespace testsupport {

using archive::Contact;
using archive::ContactStatus;
using archive::Direction;
using archive::Message;
using archive::MessageKind;

InMemoryMessageSource::InMemoryMessageSource(std::vector<Message> messages)
    : messages_(std::move(messages)) {}

void InMemoryMessageSource::forEachMessage(const std::function<bool(const Message&)>& visit) const {
    for (const Message& m : messages_) {
        if (!visit(m)) {
            return;
        }
    }
}

void InMemoryMessageSource::forEachMessageByContact(
    const std::function<bool(const Message&)>& visit) const {
    std::vector<Message> sorted = messages_;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Message& a, const Message& b) {
        return std::make_pair(a.uin, a.time) < std::make_pair(b.uin, b.time);
    });
    InMemoryMessageSource(std::move(sorted)).forEachMessage(visit);
}

Message message(uint32_t uin, Direction direction, int64_t time, const std::string& text) {
    Message m;
    m.uin = uin;
    m.direction = direction;
    m.time = time;
    m.text = text;
    m.rawText = text;
    return m;
}

namespace {

Message ofKind(Message m, MessageKind kind, uint16_t subtype, const std::string& url = "") {
    m.kind = kind;
    m.subtype = subtype;
    m.url = url;
    return m;
}

} // namespace

SampleArchive::SampleArchive()
    : source({message(2222, Direction::Sent, 1048986000, "ok"),
              message(2222, Direction::Received, 1048985999, "Hi <b>\r\nthere & you"),
              ofKind(message(2222, Direction::Received, 1049000000, "Look"), MessageKind::Url, 4,
                     "http://example.com/?a=1&b=2"),
              ofKind(message(2222, Direction::Received, 1049000001, ""), MessageKind::Url, 4,
                     "javascript:alert(1)"),
              ofKind(message(4444, Direction::Received, 1000000000, ""), MessageKind::Added, 12),
              message(5555, Direction::Received, 1000000001, "who?")}) {
    archive.owner.uin = 1111;
    archive.owner.nickName = "Bob";
    archive.groups = {{1000, "Friends, old"}, {1001, "Work"}};
    archive.contacts.resize(3);
    Contact& alice = archive.contacts[0];
    alice.uin = 2222;
    alice.status = ContactStatus::OnList;
    alice.rawStatus = 2;
    alice.groupId = 1000;
    alice.nickName = alice.firstName = "Alice";
    alice.handle = "Ali; the \"great\"";
    alice.lastName = "\xC3\x85"
                     "berg";
    alice.emails = {"alice@example.com", "a2@example.com"};
    Contact& carl = archive.contacts[1];
    carl.uin = 3333;
    carl.status = ContactStatus::Removed;
    carl.rawStatus = 5;
    carl.nickName = "Carl";
    // What Carl told about himself, one name made to drive a terminal.
    carl.details = {{"BirthYear", "1971"}, {"HomeFax", "1;2"}, {"Work\x1B[2JPos", "a,b"}};
    archive.contacts[2].uin = 4444;
    archive.contacts[2].hasRecord = false;
    archive.messages = &source;
    archive.settings.timeZone = "Europe/Stockholm";
}

} // namespace testsupport
