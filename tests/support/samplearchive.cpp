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
    for (const Message& m : sorted) {
        if (!visit(m)) {
            return;
        }
    }
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

std::vector<Message> sampleMessages() {
    Message url = message(2222, Direction::Received, 1049000000, "Look");
    url.kind = MessageKind::Url;
    url.subtype = 4;
    url.url = "http://example.com/?a=1&b=2";
    Message script = url;
    script.time = 1049000001;
    script.text = "";
    script.url = "javascript:alert(1)";
    Message added = message(4444, Direction::Received, 1000000000, "");
    added.kind = MessageKind::Added;
    added.subtype = 12;
    return {message(2222, Direction::Sent, 1048986000, "ok"),
            message(2222, Direction::Received, 1048985999, "Hi <b>\r\nthere & you"),
            url,
            script,
            added,
            message(5555, Direction::Received, 1000000001, "who?")};
}

Contact contact(uint32_t uin, ContactStatus status, int32_t rawStatus) {
    Contact c;
    c.uin = uin;
    c.status = status;
    c.rawStatus = rawStatus;
    return c;
}

} // namespace

SampleArchive::SampleArchive() : source(sampleMessages()) {
    archive.owner.uin = 1111;
    archive.owner.nickName = "Bob";
    archive.groups = {{1000, "Friends, old"}, {1001, "Work"}};
    Contact alice = contact(2222, ContactStatus::OnList, 2);
    alice.groupId = 1000;
    alice.nickName = "Alice";
    alice.handle = "Ali; the \"great\"";
    alice.firstName = "Alice";
    alice.lastName = "\xC3\x85"
                     "berg";
    alice.emails = {"alice@example.com", "a2@example.com"};
    Contact carl = contact(3333, ContactStatus::Removed, 5);
    carl.nickName = "Carl";
    Contact unknown = contact(4444, ContactStatus::Other, 0);
    unknown.hasRecord = false;
    archive.contacts = {alice, carl, unknown};
    archive.messages = &source;
    archive.settings.timeZone = "Europe/Stockholm";
}

} // namespace testsupport
