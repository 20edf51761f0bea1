#include "archive/vcard.h"

#include "archive/details.h"
#include "archive/names.h"
#include "archive/text.h"
#include "text/utf8.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <string_view>
#include <utility>

namespace archive {

namespace {

constexpr size_t kMaxLineOctets = 75;

// A text value with backslash, comma, semicolon and line end escaped.
std::string escaped(const std::string& value) {
    std::string out;
    for (const char c : cleanText(value)) {
        if (c == '\\' || c == ',' || c == ';') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

// The content line folded so that no line passes 75 octets and no character is split.
std::string folded(const std::string& line) {
    std::string out;
    size_t width = 0;
    for (size_t i = 0; i < line.size();) {
        const size_t n = text::decodeUtf8(line, i).length;
        if (width + n > kMaxLineOctets) {
            out += "\r\n ";
            width = 1;
        }
        out.append(line, i, n);
        width += n;
        i += n;
    }
    return out + "\r\n";
}

std::string note(const Contact& contact) {
    switch (contact.status) {
    case ContactStatus::OnList:
    case ContactStatus::AwaitingAuthorisation:
        return "";
    case ContactStatus::Removed:
        return "Removed from the ICQ contact list";
    case ContactStatus::Ignored:
        return "On the ICQ ignore list";
    case ContactStatus::Other:
        break;
    }
    return contact.hasRecord
               ? "Not on the ICQ contact list (status " + std::to_string(contact.rawStatus) + ")"
               : "Known only from the ICQ message history";
}

bool containsNoCase(std::string_view text, std::string_view part) {
    return std::search(text.begin(), text.end(), part.begin(), part.end(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           }) != text.end();
}

// "X-ICQ-HOMECITY": an extension property named after the detail.
std::string extensionName(const std::string& detail) {
    std::string name = "X-ICQ-";
    for (const char c : detail) {
        name += std::isalnum(static_cast<unsigned char>(c))
                    ? static_cast<char>(std::toupper(static_cast<unsigned char>(c)))
                    : '-';
    }
    return name;
}

// A detail in the property address books read it from: a phone number as TEL, a web address as
// URL, the text about the contact as NOTE, any other as an extension property.
std::pair<std::string, std::string> detailProperty(const std::string& name,
                                                   const std::string& value) {
    if (name == "About") {
        return {"NOTE", escaped(value)};
    }
    const bool work = name.compare(0, 4, "Work") == 0;
    if (containsNoCase(name, "fax")) {
        return {work ? "TEL;TYPE=work,fax" : "TEL;TYPE=home,fax", escaped(value)};
    }
    if (containsNoCase(name, "cellular") || containsNoCase(name, "mobile")) {
        return {"TEL;TYPE=cell", escaped(value)};
    }
    if (containsNoCase(name, "phone")) {
        return {work ? "TEL;TYPE=work,voice" : "TEL;TYPE=home,voice", escaped(value)};
    }
    const bool web = value.compare(0, 7, "http://") == 0 || value.compare(0, 8, "https://") == 0;
    if (web && value.find_first_of(" \t\r\n") == std::string::npos) {
        return {work ? "URL;TYPE=work" : "URL", cleanText(value)};
    }
    return {extensionName(name), escaped(value)};
}

// The details address books keep in properties of their own (ORG, TITLE, ADR), not repeated as
// extension properties.
bool structured(const std::string& name) {
    static const char* const kNames[] = {
        "WorkCompany", "WorkDepartment", "WorkPosition", "HomeAddress", "HomeCity", "HomeState",
        "HomeZip",     "WorkAddress",    "WorkCity",     "WorkState",   "WorkZip"};
    return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

// The ADR value of the home or work address ("Home", "Work"): street, city, region and postal
// code; empty when the contact gave none. ICQ keeps the country as a number, left to its own
// extension property.
std::string address(const Contact& contact, const std::string& where) {
    std::string parts;
    bool any = false;
    for (const char* part : {"Address", "City", "State", "Zip"}) {
        const std::string value = detailOf(contact, where + part);
        any = any || !value.empty();
        parts += ";" + escaped(value);
    }
    return any ? ";" + parts + ";" : std::string();
}

} // namespace

std::string vcard(const Contact& contact, const std::string& group) {
    std::string card = "BEGIN:VCARD\r\nVERSION:4.0\r\n";
    const auto add = [&](const std::string& name, const std::string& value) {
        card += folded(name + ":" + value);
    };
    add("FN", escaped(displayName(contact)));
    if (!contact.firstName.empty() || !contact.lastName.empty()) {
        add("N", escaped(contact.lastName) + ";" + escaped(contact.firstName) + ";;;");
    }
    if (!contact.nickName.empty()) {
        add("NICKNAME", escaped(contact.nickName));
    }
    for (size_t i = 0; i < contact.emails.size(); ++i) {
        add(i == 0 && contact.emails.size() > 1 ? "EMAIL;PREF=1" : "EMAIL",
            escaped(contact.emails[i]));
    }
    add("IMPP", "icq:" + std::to_string(contact.uin));
    if (!group.empty()) {
        add("CATEGORIES", escaped(group));
    }
    if (const std::string date = birthday(contact, true); !date.empty()) {
        add("BDAY", date);
    }
    if (const std::string gender = genderName(contact); !gender.empty()) {
        add("GENDER", gender == "female" ? "F" : "M");
    }
    if (const std::string company = detailOf(contact, "WorkCompany"); !company.empty()) {
        const std::string unit = detailOf(contact, "WorkDepartment");
        add("ORG", escaped(company) + (unit.empty() ? "" : ";" + escaped(unit)));
    }
    if (const std::string title = detailOf(contact, "WorkPosition"); !title.empty()) {
        add("TITLE", escaped(title));
    }
    for (const auto& [where, type] : {std::pair{"Home", "home"}, std::pair{"Work", "work"}}) {
        if (const std::string value = address(contact, where); !value.empty()) {
            add(std::string("ADR;TYPE=") + type, value);
        }
    }
    for (const auto& [name, value] : contact.details) {
        if (!isBirthdayOrGender(name) && !structured(name)) {
            const auto [property, text] = detailProperty(name, value);
            add(property, text);
        }
    }
    add("X-ICQ-STATUS", statusName(contact.status));
    if (const std::string text = note(contact); !text.empty()) {
        add("NOTE", escaped(text));
    }
    return card + "END:VCARD\r\n";
}

} // namespace archive
