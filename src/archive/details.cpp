#include "archive/details.h"

#include <cstdio>
#include <cstdlib>

namespace archive {

namespace {

// The detail `name` as a number from `low` to `high`; 0 when it is none.
int numberIn(const Contact& contact, std::string_view name, int low, int high) {
    const std::string text = detailOf(contact, name);
    char* end = nullptr;
    const long n = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && n >= low && n <= high ? static_cast<int>(n) : 0;
}

// "HomeCity" as "Home city": the names are ICQ's property names, in ASCII.
std::string label(const std::string& name) {
    std::string out;
    for (const char c : name) {
        if (c >= 'A' && c <= 'Z' && !out.empty()) {
            out += ' ';
            out += static_cast<char>(c - 'A' + 'a');
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

std::string detailOf(const Contact& contact, std::string_view name) {
    for (const auto& [key, value] : contact.details) {
        if (key == name) {
            return value;
        }
    }
    return {};
}

std::string birthday(const Contact& contact, bool basic) {
    const int year = numberIn(contact, "BirthYear", 1800, 2100);
    const int month = numberIn(contact, "BirthMonth", 1, 12);
    const int day = month != 0 ? numberIn(contact, "BirthDay", 1, 31) : 0;
    const char* const form = basic ? "%02d%02d" : "%02d-%02d";
    char date[32] = "";
    if (day != 0) {
        char monthDay[8];
        std::snprintf(monthDay, sizeof monthDay, form, month, day);
        if (year != 0) {
            std::snprintf(date, sizeof date, basic ? "%04d%s" : "%04d-%s", year, monthDay);
        } else {
            std::snprintf(date, sizeof date, "--%s", monthDay);
        }
    } else if (year != 0) {
        std::snprintf(date, sizeof date, "%04d", year);
    }
    return date;
}

std::string genderName(const Contact& contact) {
    switch (numberIn(contact, "Gender", 1, 2)) {
    case 1:
        return "female";
    case 2:
        return "male";
    default:
        return {};
    }
}

bool isBirthdayOrGender(std::string_view name) {
    return name == "BirthYear" || name == "BirthMonth" || name == "BirthDay" || name == "Gender";
}

std::vector<std::string> detailWords(const Contact& contact) {
    std::vector<std::string> words;
    if (std::string gender = genderName(contact); !gender.empty()) {
        words.push_back(std::move(gender));
    }
    if (const std::string born = birthday(contact); !born.empty()) {
        words.push_back("born " + born);
    }
    for (const auto& [name, value] : contact.details) {
        if (!isBirthdayOrGender(name)) {
            words.push_back(label(name) + ": " + value);
        }
    }
    return words;
}

} // namespace archive
