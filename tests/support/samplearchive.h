#pragma once

#include "archive/archive.h"

#include <vector>

namespace testsupport {

/// An archive::MessageSource over messages held in memory: forEachMessage in the order given,
/// forEachMessageByContact sorted by UIN and then time (stable).
class InMemoryMessageSource : public archive::MessageSource {
public:
    explicit InMemoryMessageSource(std::vector<archive::Message> messages);
    void forEachMessage(const std::function<bool(const archive::Message&)>& visit) const override;
    void forEachMessageByContact(
        const std::function<bool(const archive::Message&)>& visit) const override;

private:
    std::vector<archive::Message> messages_;
};

/// A message with its raw text equal to its text.
archive::Message message(uint32_t uin, archive::Direction direction, int64_t time,
                         const std::string& text);

/// A small archive of owner 1111 ("Bob") in Europe/Stockholm: groups 1000 "Friends, old" and
/// 1001 "Work"; contacts 2222 (on the list, every field), 3333 (removed) and 4444 (known only
/// from messages); messages of 2222 across the daylight-saving change of 2003-03-30 (CRLF,
/// markup, a URL, a javascript: URL), one of 4444 and one of 5555, which has no contact.
struct SampleArchive {
    SampleArchive();
    InMemoryMessageSource source;
    archive::Archive archive;
};

} // namespace testsupport
