#include <algorithm>
#include <array>
#include <iostream>
#include <map>

#include "archive/details.h"
#include "archive/names.h"
#include "archive/summary.h"
#include "archive/timefmt.h"
#include "commands.h"
#include "text/printable.h"

namespace icq {

namespace {

constexpr size_t kColumns = 8;
using Row = std::array<std::string, kColumns>;

Row contactRow(const archive::Contact& c, const std::map<uint32_t, std::string>& groups) {
    std::string emails;
    for (const std::string& email : c.emails) {
        emails += (emails.empty() ? "" : ", ") + email;
    }
    const auto group = groups.find(c.groupId);
    const std::string name =
        c.firstName + (c.firstName.empty() || c.lastName.empty() ? "" : " ") + c.lastName;
    std::string details;
    for (const std::string& words : archive::detailWords(c)) {
        details += (details.empty() ? "" : "; ") + words;
    }
    Row row = {std::to_string(c.uin),
               c.nickName,
               c.handle,
               name,
               emails,
               group == groups.end() ? "" : group->second,
               archive::standing(c),
               details};
    for (std::string& cell : row) {
        cell = text::printable(cell);
    }
    return row;
}

// The rows under a header, each column as wide as its widest cell; the last is not padded.
std::string table(const std::vector<Row>& rows) {
    std::array<size_t, kColumns> width{};
    for (const Row& row : rows) {
        for (size_t i = 0; i < kColumns; ++i) {
            width[i] = std::max(width[i], text::columns(row[i]));
        }
    }
    std::string out;
    for (const Row& row : rows) {
        std::string line;
        for (size_t i = 0; i < kColumns; ++i) {
            line += i + 1 < kColumns ? text::padded(row[i], width[i] + 2) : row[i];
        }
        // A row whose last cells are empty ends where its text does.
        line.erase(line.find_last_not_of(' ') + 1);
        out += line + "\n";
    }
    return out;
}

// Each line of `text` indented by two spaces.
std::string indented(const std::string& text) {
    std::string out;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        out += "  " + text.substr(start, end - start) + "\n";
        start = end + 1;
    }
    return out;
}

class HistoryPrinter {
public:
    HistoryPrinter(const archive::Database& db, std::ostream& out)
        : zone_(db.settings().timeZone), owner_(text::printable(archive::ownerName(db.owner()))),
          out_(out) {
        for (const archive::Contact& contact : db.contacts()) {
            names_[contact.uin] = text::printable(archive::displayName(contact));
        }
    }

    void print(const archive::Message& m) {
        if (!started_ || m.uin != uin_) {
            const auto found = names_.find(m.uin);
            out_ << (started_ ? "\n" : "")
                 << "== " << (found == names_.end() ? std::to_string(m.uin) : found->second) << " ("
                 << m.uin << ") ==\n";
            started_ = true;
            uin_ = m.uin;
        }
        const std::string label = archive::kindLabel(m);
        out_ << "\n"
             << zone_.isoTime(m.time) << "  "
             << (m.direction == archive::Direction::Sent ? owner_ : names_[m.uin])
             << (label.empty() ? "" : " (" + label + ")") << "\n";
        std::string body = text::printable(m.text, true);
        if (!m.url.empty()) {
            body += (body.empty() ? "" : "\n") + text::printable(m.url);
        }
        out_ << (body.empty() ? "" : indented(body));
    }
    bool printed() const { return started_; }

private:
    const archive::TimeZone zone_;
    const std::string owner_;
    std::ostream& out_;
    std::map<uint32_t, std::string> names_;
    bool started_ = false;
    uint32_t uin_ = 0;
};

} // namespace

int runContacts(const Options& o) {
    ProgressLine line = progressLine(o);
    int status = kDone;
    const auto db = openDatabase(o.databases.front(), o, line, status);
    if (!db) {
        return status;
    }
    std::map<uint32_t, std::string> groups;
    for (const archive::Group& group : db->groups()) {
        groups[group.id] = group.name;
    }
    std::vector<Row> rows = {
        {"UIN", "Nickname", "Handle", "Name", "E-mail", "Group", "Status", "Details"}};
    for (const archive::Contact& contact : db->contacts()) {
        if (o.allContacts || (contact.hasRecord && archive::onList(contact.status))) {
            rows.push_back(contactRow(contact, groups));
        }
    }
    std::cout << table(rows);
    printWarnings(db->report(), o);
    const size_t left = db->contacts().size() - (rows.size() - 1);
    if (left != 0 && !o.quiet) {
        std::cout << "(" << left << " more not on the list: --all shows them)\n";
    }
    return kDone;
}

int runHistory(const Options& o) {
    ProgressLine line = progressLine(o);
    int status = kDone;
    const auto db = openDatabase(o.databases.front(), o, line, status);
    if (!db) {
        return status;
    }
    HistoryPrinter printer(*db, std::cout);
    // By contact the UINs ascend: past the one asked for, nothing more is printed.
    db->forEachMessageByContact([&](const archive::Message& m) {
        if (!o.uin || m.uin == *o.uin) {
            printer.print(m);
        }
        return !o.uin || m.uin <= *o.uin;
    });
    std::cout.flush();
    printWarnings(db->report(), o);
    if (o.uin && !printer.printed() && !o.quiet) {
        std::cerr << "tolvane-icq: " << text::printable(o.databases.front())
                  << ": no messages with UIN " << *o.uin << "\n";
    }
    return kDone;
}

} // namespace icq
