#include "archive/csv.h"

#include "archive/details.h"
#include "archive/names.h"
#include "archive/text.h"

#include <vector>

namespace archive {

namespace {

std::string row(const std::vector<std::string>& fields) {
    std::string out;
    for (size_t i = 0; i < fields.size(); ++i) {
        const std::string value = cleanText(fields[i]);
        out += i == 0 ? "" : ",";
        if (value.find_first_of(",\"\n") == std::string::npos) {
            out += value;
            continue;
        }
        out += '"';
        for (const char c : value) {
            out += c == '"' ? "\"\"" : std::string(1, c);
        }
        out += '"';
    }
    return out + "\r\n";
}

} // namespace

std::string contactsCsvHeader() {
    return row({"uin", "display_name", "status", "status_code", "group_id", "group", "handle",
                "nickname", "first_name", "last_name", "email", "other_emails", "has_record",
                "birthday", "gender", "details"});
}

std::string contactsCsvRow(const Contact& contact, const std::string& group) {
    std::string others;
    for (size_t i = 1; i < contact.emails.size(); ++i) {
        others += (i == 1 ? "" : " ") + contact.emails[i];
    }
    // The details without a column of their own, "HomeCity: Köln; About: ...".
    std::string details;
    for (const auto& [name, value] : contact.details) {
        if (!isBirthdayOrGender(name)) {
            details += (details.empty() ? "" : "; ") + name + ": " + value;
        }
    }
    return row({std::to_string(contact.uin), displayName(contact), statusName(contact.status),
                std::to_string(contact.rawStatus),
                contact.groupId == 0 ? "" : std::to_string(contact.groupId), group, contact.handle,
                contact.nickName, contact.firstName, contact.lastName,
                contact.emails.empty() ? "" : contact.emails.front(), others,
                contact.hasRecord ? "1" : "0", birthday(contact), genderName(contact), details});
}

} // namespace archive
