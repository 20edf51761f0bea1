#include "messagetext.h"

#include <string_view>
#include <vector>

#include "archive/rtf.h"
#include "text/utf8.h"

namespace archive {

namespace {

constexpr char kSeparator = '\xFE';
constexpr uint16_t kUrl = 4;
constexpr uint16_t kContacts = 19;

std::vector<std::string_view> fields(std::string_view text) {
    std::vector<std::string_view> out;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(kSeparator, start);
        out.push_back(text.substr(start, at == std::string_view::npos ? at : at - start));
        if (at == std::string_view::npos) {
            return out;
        }
        start = at + 1;
    }
}

bool identityEvent(uint16_t subtype) {
    return (subtype >= 6 && subtype <= 9) || subtype == 12;
}

std::string linesText(std::string_view stored, const text::CodepageDecoder& decoder) {
    std::string out;
    const std::vector<std::string_view> f = fields(stored);
    for (size_t i = 0; i < f.size(); ++i) {
        out += (i == 0 ? "" : "\r\n") + decoder.decode(f[i]);
    }
    return out;
}

// Nickname, first, last, e-mail, status, message: "nick (first last) <e-mail>" and the message
// on the next line.
std::string identityText(std::string_view stored, const text::CodepageDecoder& decoder) {
    const std::vector<std::string_view> f = fields(stored);
    if (f.size() < 5) {
        // Not the usual fields: the text as it is, separators as line breaks.
        return linesText(stored, decoder);
    }
    const auto field = [&](size_t i) {
        return i < f.size() ? decoder.decode(f[i]) : std::string();
    };
    std::string name = field(1);
    const std::string last = field(2);
    name += name.empty() || last.empty() ? last : " " + last;
    std::string line = field(0);
    if (!name.empty()) {
        line += (line.empty() ? "(" : " (") + name + ")";
    }
    const std::string email = field(3);
    if (!email.empty()) {
        line += (line.empty() ? "<" : " <") + email + ">";
    }
    const std::string message = f.size() >= 6 ? decoder.decode(f.back()) : std::string();
    return message.empty() ? line : line + "\r\n" + message;
}

// A count, then UIN and nickname pairs, each field ended by 0xFE.
std::string contactsText(std::string_view stored, const text::CodepageDecoder& decoder) {
    const std::vector<std::string_view> f = fields(stored);
    std::string out;
    for (size_t i = 1; i + 1 < f.size(); i += 2) {
        out += (out.empty() ? "" : "\r\n") + decoder.decode(f[i + 1]) + " (" +
               decoder.decode(f[i]) + ")";
    }
    return out;
}

} // namespace

MessageKind messageKind(uint16_t subtype, int form) {
    if (form == 2) {
        return MessageKind::Url;
    }
    switch (subtype) {
    case 1:
        return MessageKind::Message;
    case kUrl:
        return MessageKind::Url;
    case 6:
        return MessageKind::AuthorisationRequest;
    case 7:
        return MessageKind::AuthorisationDenied;
    case 8:
        return MessageKind::AuthorisationGranted;
    case 9:
        return MessageKind::SystemRequest;
    case 12:
        return MessageKind::Added;
    case 13:
        return MessageKind::WebPager;
    case 14:
        return MessageKind::EmailExpress;
    case kContacts:
        return MessageKind::Contacts;
    case 26:
        return MessageKind::Sms;
    default:
        return form == 1 ? MessageKind::Message : MessageKind::Other;
    }
}

void composeMessage(const MessageEntry& entry, int form, uint32_t id, uint64_t offset,
                    int64_t timeOffset, const text::CodepageDecoder& decoder, Message& out) {
    out.uin = entry.uin;
    out.time = static_cast<int64_t>(entry.time) + timeOffset;
    out.entryId = id;
    out.offset = offset;
    out.direction = (entry.flags & 1) != 0 ? Direction::Received : Direction::Sent;
    out.inDeletedFolder = (entry.flags & kInDeletedFolder) != 0;
    out.subtype = entry.subtype;
    out.kind = messageKind(entry.subtype, form);
    out.url.clear();
    if (form == 1 && !entry.utf8.empty() && text::isValidUtf8(entry.utf8)) {
        out.rawText.assign(entry.utf8);
        out.text.assign(entry.utf8);
        return;
    }
    if (form == 1 && entry.text.empty() && !entry.rtf.empty()) {
        out.rawText.assign(entry.rtf);
        out.text = rtfToText(entry.rtf, decoder);
        return;
    }
    out.rawText.assign(entry.text);
    const std::string_view stored = entry.text;
    switch (out.kind) {
    case MessageKind::Url: {
        const size_t at = stored.find(kSeparator);
        decoder.decodeInto(stored.substr(0, at), out.text);
        if (at != std::string_view::npos) {
            decoder.decodeInto(stored.substr(at + 1), out.url);
        }
        return;
    }
    case MessageKind::Contacts:
        out.text = contactsText(stored, decoder);
        return;
    case MessageKind::WebPager:
    case MessageKind::EmailExpress:
        out.text = linesText(stored, decoder);
        return;
    default:
        if (identityEvent(entry.subtype)) {
            out.text = identityText(stored, decoder);
        } else {
            decoder.decodeInto(stored, out.text);
        }
        return;
    }
}

} // namespace archive
