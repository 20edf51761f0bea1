#include "loader.h"

#include <algorithm>

#include "archive/entries.h"
#include "archive/exporterror.h"
#include "archive/messagetext.h"
#include "archive/names.h"

namespace archive {

namespace {

using format::Kind;

// M leaves out UINs below this; ICQ numbers start there.
constexpr uint32_t kLowestUin = 10000;

int rank(uint32_t status) {
    switch (status) {
    case 2:
    case 3:
        return 0;
    case 12:
        return 1;
    case 5:
        return 3;
    default:
        return 2;
    }
}

ContactStatus statusOf(uint32_t status, uint32_t filed) {
    switch (status) {
    case 2:
        return ContactStatus::OnList;
    case 3:
        return ContactStatus::AwaitingAuthorisation;
    case 5:
        return ContactStatus::Removed;
    case 12:
        return ContactStatus::Ignored;
    default:
        // The ignore list files its entries under 2.
        return filed == 2 ? ContactStatus::Ignored : ContactStatus::Other;
    }
}

void fill(std::string& field, const std::string& other) {
    if (field.empty()) {
        field = other;
    }
}

Contact merged(const std::vector<const ContactRecord*>& records) {
    const ContactRecord& best = *records.front();
    Contact c;
    c.uin = best.uin;
    c.rawStatus = static_cast<int32_t>(best.status);
    c.status = statusOf(best.status, best.filed);
    c.groupId = best.group;
    for (const ContactRecord* r : records) {
        fill(c.nickName, r->nickName);
        fill(c.handle, r->handle);
        fill(c.firstName, r->firstName);
        fill(c.lastName, r->lastName);
        for (const std::string& email : r->emails) {
            if (!email.empty() &&
                std::find(c.emails.begin(), c.emails.end(), email) == c.emails.end()) {
                c.emails.push_back(email);
            }
        }
        addDetails(c, r->details);
    }
    return c;
}

// Whether an earlier walk of the file handed the message at `offset` over already.
bool handedBefore(Delivery& d, uint64_t offset) {
    std::string problem;
    const bool handed = d.done != nullptr && d.done->holds(static_cast<uint32_t>(offset), problem);
    if (!problem.empty()) {
        throw ExportError(problem);
    }
    return handed;
}

} // namespace

std::string entryPlace(uint32_t id, uint64_t offset) {
    return "entry " + std::to_string(id) + " at offset " + hexOffset(offset);
}

void Loader::count(const char* kind, const char* outcome) {
    for (Tally& tally : out_.tallies) {
        if (tally.kind == kind && tally.outcome == outcome) {
            ++tally.count;
            return;
        }
    }
    out_.tallies.push_back({kind, outcome, 1});
}

void Loader::fail(const char* kind, uint32_t id, uint64_t offset, const std::string& problem) {
    count(kind, "unreadable");
    out_.report.warnings.push_back(entryPlace(id, offset) + ": " + problem);
}

void Loader::unreadable(uint64_t offset, const std::string& problem) {
    count("unknown", "unreadable");
    out_.report.warnings.push_back("entry at offset " + hexOffset(offset) + ": " + problem);
}

void Loader::warning(const std::string& problem) {
    out_.report.warnings.push_back(problem);
}

void Loader::entry(uint64_t offset, const uint8_t* data, size_t size) {
    EntryHeader header;
    std::string problem;
    if (!readEntryHeader(data, size, header, problem)) {
        unreadable(offset, problem);
        return;
    }
    const char* kind = format::kindName(header.kind);
    if (header.kind == Kind::Unknown) {
        count(kind, "unknown kind");
        return;
    }
    if (header.kind != Kind::Owner && header.kind != Kind::Contact &&
        header.kind != Kind::Message) {
        count(kind, "not exported");
        return;
    }
    ++out_.builds[header.build];
    if (header.build < 200) {
        fail(kind, header.id, offset,
             "written by ICQ 98 (build " + std::to_string(header.build) +
                 "), whose layout is not known");
        return;
    }
    switch (header.kind) {
    case Kind::Owner:
        owner(header.id, offset, data, size, header.build);
        break;
    case Kind::Contact:
        contact(header.id, header.filed, offset, data, size, header.build);
        break;
    default:
        message(header.id, header.form, offset, data, size, header.build);
        break;
    }
}

void Loader::owner(uint32_t id, uint64_t offset, const uint8_t* data, size_t size, uint16_t build) {
    if (id != format::kOwnerId) {
        count("owner", "not My Details");
        return;
    }
    OwnerEntry entry;
    std::string problem;
    if (!parseOwner(data, size, build, entry, problem)) {
        fail("owner", id, offset, problem);
        return;
    }
    if (out_.hasOwner) {
        count("owner", "repeated");
        out_.report.warnings.push_back(entryPlace(id, offset) +
                                       ": a second owner entry; the first one is kept");
        return;
    }
    out_.hasOwner = true;
    count("owner", "exported");
    const Identity& identity = entry.identity;
    Owner& owner = out_.owner;
    owner.uin = identity.uin;
    owner.nickName = decoder_.decode(identity.nickName);
    owner.firstName = decoder_.decode(identity.firstName);
    owner.lastName = decoder_.decode(identity.lastName);
    owner.email = decoder_.decode(identity.primaryEmail);
    for (const RawGroup& group : entry.groups) {
        out_.groups.push_back({group.id, decoder_.decode(group.name)});
    }
    if (!entry.groupProblem.empty()) {
        out_.report.warnings.push_back(entryPlace(id, offset) + ": " + entry.groupProblem);
    }
}

void Loader::contact(uint32_t id, uint32_t filed, uint64_t offset, const uint8_t* data, size_t size,
                     uint16_t build) {
    ContactEntry entry;
    std::string problem;
    if (!parseContact(data, size, build, entry, problem)) {
        fail("contact", id, offset, problem);
        return;
    }
    const Identity& identity = entry.identity;
    if (!identity.hasUin) {
        fail("contact", id, offset, "no UIN");
        return;
    }
    if (identity.uin < kLowestUin) {
        count("contact", "bad UIN");
        out_.report.warnings.push_back(entryPlace(id, offset) + ": UIN " +
                                       std::to_string(identity.uin) + " is below 10000");
        return;
    }
    ContactRecord r;
    r.uin = identity.uin;
    r.status = entry.status;
    r.group = entry.group;
    r.filed = filed;
    r.nickName = decoder_.decode(identity.nickName);
    r.handle = decoder_.decode(identity.handle);
    r.firstName = decoder_.decode(identity.firstName);
    r.lastName = decoder_.decode(identity.lastName);
    r.emails.push_back(decoder_.decode(identity.primaryEmail));
    for (const std::string_view email : identity.otherEmails) {
        r.emails.push_back(decoder_.decode(email));
    }
    for (const Detail& detail : identity.details) {
        r.details.emplace_back(std::string(detail.name), detail.isText
                                                             ? decoder_.decode(detail.text)
                                                             : std::to_string(detail.number));
    }
    out_.records.push_back(std::move(r));
}

void Loader::message(uint32_t id, int form, uint64_t offset, const uint8_t* data, size_t size,
                     uint16_t build) {
    MessageEntry entry;
    std::string problem;
    if (!parseMessage(data, size, form, build, entry, problem)) {
        fail("message", id, offset, problem);
        return;
    }
    if ((entry.flags & kInDeletedFolder) != 0 && !deletedFolder_) {
        count("message", kLeftInDeletedFolder);
        return;
    }
    if (!entry.copyProblem.empty()) {
        out_.report.warnings.push_back(entryPlace(id, offset) + ": " + entry.copyProblem +
                                       "; its text is used");
    }
    count("message", kReadOutcome);
    out_.messages.add(
        {static_cast<uint32_t>(offset), static_cast<uint32_t>(size), entry.uin, entry.time});
    Delivery* const d = delivery_;
    if (d != nullptr && !d->stopped && !handedBefore(*d, offset)) {
        composeMessage(entry, form, id, offset, d->timeOffset, decoder_, d->message);
        ++d->handed;
        d->stopped = !(*d->visit)(d->message);
    }
}

std::vector<Contact> mergeContacts(const std::vector<ContactRecord>& records,
                                   const std::vector<uint32_t>& messageUins, Report& report) {
    std::vector<const ContactRecord*> order;
    order.reserve(records.size());
    for (const ContactRecord& r : records) {
        order.push_back(&r);
    }
    // By UIN, then the preferred status, then file order.
    std::stable_sort(
        order.begin(), order.end(), [](const ContactRecord* a, const ContactRecord* b) {
            return a->uin != b->uin ? a->uin < b->uin : rank(a->status) < rank(b->status);
        });
    std::vector<Contact> contacts;
    for (size_t i = 0; i < order.size();) {
        size_t end = i + 1;
        while (end < order.size() && order[end]->uin == order[i]->uin) {
            ++end;
        }
        contacts.push_back(merged({order.begin() + static_cast<std::ptrdiff_t>(i),
                                   order.begin() + static_cast<std::ptrdiff_t>(end)}));
        ++report.entries[{"contact", kReadOutcome}];
        if (end - i > 1) {
            report.entries[{"contact", "merged with another record of its UIN"}] += end - i - 1;
        }
        i = end;
    }

    const size_t known = contacts.size();
    for (const uint32_t uin : messageUins) {
        const auto found = std::lower_bound(
            contacts.begin(), contacts.begin() + static_cast<std::ptrdiff_t>(known), uin,
            [](const Contact& c, uint32_t u) { return c.uin < u; });
        if (found == contacts.begin() + static_cast<std::ptrdiff_t>(known) || found->uin != uin) {
            Contact stranger;
            stranger.uin = uin;
            stranger.hasRecord = false;
            contacts.push_back(stranger);
        }
    }
    std::sort(contacts.begin(), contacts.end(),
              [](const Contact& a, const Contact& b) { return a.uin < b.uin; });
    return contacts;
}

} // namespace archive
