#include "archive/names.h"

#include "archive/text.h"
#include "text/utf8.h"

#include <algorithm>
#include <initializer_list>

namespace archive {

namespace {

constexpr size_t kMaxNameBytes = 48;

// Characters that separate paths, that Windows refuses in names, or that split words.
bool unsafeAscii(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F ||
           std::string_view("/\\:*?\"<>| ").find(c) != std::string_view::npos;
}

// C1 controls and the bidirectional overrides that would make a name read differently.
bool unsafeSequence(std::string_view s) {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    if (s.size() == 2) {
        return b(0) == 0xC2 && b(1) < 0xA0;
    }
    if (s.size() == 3 && b(0) == 0xE2) {
        return (b(1) == 0x80 &&
                ((b(2) >= 0x8E && b(2) <= 0x8F) || (b(2) >= 0xAA && b(2) <= 0xAE))) ||
               (b(1) == 0x81 && b(2) >= 0xA6 && b(2) <= 0xA9);
    }
    return false;
}

std::string safeName(const std::string& name) {
    const std::string clean = cleanText(name);
    std::string out;
    for (size_t i = 0; i < clean.size();) {
        const size_t n = text::decodeUtf8(clean, i).length;
        const std::string_view piece(clean.data() + i, n);
        const bool bad = n == 1 ? unsafeAscii(clean[i]) : unsafeSequence(piece);
        if (out.size() + n > kMaxNameBytes) {
            break;
        }
        if (!bad) {
            out += piece;
        } else if (!out.empty() && out.back() != '_') {
            out += '_';
        }
        i += n;
    }
    // No hidden files, and nothing Windows would strip from the end.
    while (!out.empty() && (out.back() == '_' || out.back() == '.')) {
        out.pop_back();
    }
    const size_t start = out.find_first_not_of("._");
    return start == std::string::npos ? std::string() : out.substr(start);
}

// A name on one line: line ends and TABs inside become spaces.
std::string oneLine(std::string_view name) {
    std::string out(trimmed(name));
    for (char& c : out) {
        c = c == '\n' || c == '\t' ? ' ' : c;
    }
    return out;
}

struct KindText {
    MessageKind kind;
    const char* name;
    const char* label;
};

constexpr KindText kKinds[] = {
    {MessageKind::Message, "message", ""},
    {MessageKind::Url, "url", "URL"},
    {MessageKind::AuthorisationRequest, "authorisation-request", "Authorisation request"},
    {MessageKind::AuthorisationDenied, "authorisation-denied", "Authorisation denied"},
    {MessageKind::AuthorisationGranted, "authorisation-granted", "Authorisation granted"},
    {MessageKind::Added, "added", "You were added"},
    {MessageKind::SystemRequest, "system-request", "System request"},
    {MessageKind::WebPager, "web-pager", "Web pager"},
    {MessageKind::EmailExpress, "email-express", "E-mail express"},
    {MessageKind::Contacts, "contacts", "Contacts"},
    {MessageKind::Sms, "sms", "SMS"},
};

const KindText* findKind(MessageKind kind) {
    for (const KindText& k : kKinds) {
        if (k.kind == kind) {
            return &k;
        }
    }
    return nullptr;
}

// The first of `names` that is not blank, on one line; else the UIN.
std::string firstName(std::initializer_list<std::string> names, uint32_t uin) {
    for (const std::string& name : names) {
        const std::string clean = cleanText(name);
        if (!trimmed(clean).empty()) {
            return oneLine(clean);
        }
    }
    return std::to_string(uin);
}

} // namespace

void addDetails(Contact& contact, const std::vector<std::pair<std::string, std::string>>& details) {
    for (const auto& detail : details) {
        const auto named = [&detail](const auto& d) { return d.first == detail.first; };
        if (std::none_of(contact.details.begin(), contact.details.end(), named)) {
            contact.details.push_back(detail);
        }
    }
}

std::string displayName(const Contact& contact) {
    return firstName({contact.handle, contact.nickName}, contact.uin);
}

std::string ownerName(const Owner& owner) {
    return firstName({owner.nickName, owner.firstName + " " + owner.lastName}, owner.uin);
}

bool onList(ContactStatus status) {
    return status == ContactStatus::OnList || status == ContactStatus::AwaitingAuthorisation;
}

const char* statusName(ContactStatus status) {
    switch (status) {
    case ContactStatus::OnList:
        return "on-list";
    case ContactStatus::AwaitingAuthorisation:
        return "awaiting-authorisation";
    case ContactStatus::Removed:
        return "removed";
    case ContactStatus::Ignored:
        return "ignored";
    case ContactStatus::Other:
        break;
    }
    return "other";
}

const char* directionName(Direction direction) {
    return direction == Direction::Sent ? "sent" : "received";
}

const char* kindName(MessageKind kind) {
    const KindText* k = findKind(kind);
    return k == nullptr ? "other" : k->name;
}

MessageKind kindNamed(std::string_view name) {
    for (const KindText& k : kKinds) {
        if (name == k.name) {
            return k.kind;
        }
    }
    return MessageKind::Other;
}

std::string kindLabel(const Message& message) {
    const KindText* k = findKind(message.kind);
    const std::string kind =
        k == nullptr ? "Other (subtype " + std::to_string(message.subtype) + ")" : k->label;
    if (!message.inDeletedFolder) {
        return kind;
    }
    return kind.empty() ? "In the Deleted folder" : kind + ", in the Deleted folder";
}

std::string fileStem(uint32_t uin, const std::string& name) {
    const std::string uinText = std::to_string(uin);
    const std::string safe = safeName(name);
    return safe.empty() || safe == uinText ? uinText : uinText + "-" + safe;
}

std::string UniqueNames::take(const std::string& stem) {
    const auto folded = [](std::string s) {
        for (char& c : s) {
            c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        }
        return s;
    };
    std::string name = stem;
    for (int n = 2; !taken_.insert(folded(name)).second; ++n) {
        name = stem + "-" + std::to_string(n);
    }
    return name;
}

} // namespace archive
