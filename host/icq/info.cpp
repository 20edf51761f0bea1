#include <cstdio>
#include <iostream>
#include <map>

#include "archive/names.h"
#include "archive/summary.h"
#include "archive/text.h"
#include "archive/timefmt.h"
#include "commands.h"
#include "text/printable.h"

namespace icq {

namespace {

std::string row(uint64_t n, const std::string& what) {
    char count[24];
    std::snprintf(count, sizeof count, "%9llu", static_cast<unsigned long long>(n));
    return count + ("  " + what + "\n");
}

std::string labelled(const std::string& label, const std::string& value) {
    return text::padded(label, 11) + value + "\n";
}

std::string ownerLine(const archive::Owner& owner) {
    std::string line =
        text::printable(archive::ownerName(owner)) + " (UIN " + std::to_string(owner.uin) + ")";
    const std::string name = owner.firstName +
                             (owner.firstName.empty() || owner.lastName.empty() ? "" : " ") +
                             owner.lastName;
    for (const std::string& part : {name, owner.email}) {
        line += part.empty() ? "" : ", " + text::printable(part);
    }
    return line;
}

// A group counts the contacts on the list; removed and ignored ones keep the group they were
// in when they left it, and are told apart.
std::string groupRows(const archive::Database& db) {
    std::map<uint32_t, uint64_t> members;
    std::map<uint32_t, uint64_t> former;
    for (const archive::Contact& contact : db.contacts()) {
        ++(archive::onList(contact.status) ? members : former)[contact.groupId];
    }
    std::string rows;
    for (const archive::Group& group : db.groups()) {
        const uint64_t others = former[group.id];
        rows += row(group.id,
                    text::padded(text::printable(group.name), 24) +
                        archive::counted(members[group.id], "contact") +
                        (others == 0 ? std::string()
                                     : "; " + std::to_string(others) + " more not on the list"));
    }
    return rows;
}

struct MessageCounts {
    uint64_t received = 0;
    uint64_t sent = 0;
    uint64_t inDeletedFolder = 0;
    std::map<archive::MessageKind, uint64_t> byKind;
};

std::string timesLine(const archive::Settings& settings) {
    const std::string offset =
        settings.timeOffset == 0 ? std::string() : " " + archive::offsetText(settings.timeOffset);
    return "stored stamps" + offset + " taken as UTC, shown in " + settings.timeZone;
}

} // namespace

int runInfo(const Options& o) {
    const std::string& path = o.databases.front();
    ProgressLine line = progressLine(o);
    int status = kDone;
    // Counted while the database is read, so that the file is read once.
    MessageCounts messages;
    const auto count = [&messages](const archive::Message& m) {
        ++(m.direction == archive::Direction::Sent ? messages.sent : messages.received);
        ++messages.byKind[m.kind];
        messages.inDeletedFolder += m.inDeletedFolder ? 1 : 0;
        return true;
    };
    const auto db = openDatabase(path, o, line, status, count);
    if (!db) {
        return status;
    }
    if (db->withdrawn() != 0) {
        // A damaged file's index handed over messages it does not hold: read them again.
        messages = MessageCounts();
        db->forEachMessage(count);
    }

    std::string out = labelled("Database:", text::printable(path));
    out += labelled("Index:", db->indexPath().empty()
                                  ? std::string("none")
                                  : text::printable(db->indexPath()) + " (index version " +
                                        std::to_string(db->indexVersion()) + ")");
    out += labelled("Version:", db->version() == "unknown" ? "unknown" : "ICQ " + db->version());
    out += labelled("Walk:", db->walk() == archive::Walk::IndexTree
                                 ? "the index tree"
                                 : "the allocation bitmaps of the data pages");
    out += labelled("Owner:", ownerLine(db->owner()));
    out += labelled("Groups:", std::to_string(db->groups().size())) + groupRows(*db);
    out += labelled("Contacts:", std::to_string(db->contacts().size()));
    for (const archive::Count& count : archive::contactsByStanding(db->contacts())) {
        out += row(count.n, count.label);
    }
    out += labelled("Messages:", std::to_string(db->messageCount()) + " (" +
                                     std::to_string(messages.received) + " received, " +
                                     std::to_string(messages.sent) + " sent)");
    for (const auto& [kind, n] : messages.byKind) {
        out += row(n, archive::kindName(kind));
    }
    const uint64_t left = archive::leftInDeletedFolder(db->report());
    if (messages.inDeletedFolder != 0) {
        out += row(messages.inDeletedFolder, "of them in ICQ's Deleted folder");
    } else if (left != 0) {
        out += row(left, "in ICQ's Deleted folder, left out (--deleted-folder)");
    }
    out += labelled("Times:", timesLine(db->settings()));
    const std::vector<std::string>& warnings = db->report().warnings;
    out += labelled("Warnings:", std::to_string(warnings.size()) +
                                     (warnings.empty() || o.verbose ? "" : " (-v lists them)"));
    for (const std::string& warning : o.verbose ? warnings : std::vector<std::string>()) {
        out += "  " + text::printable(warning) + "\n";
    }
    std::cout << out;
    return kDone;
}

} // namespace icq
