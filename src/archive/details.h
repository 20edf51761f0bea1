#pragma once

// What contacts filled in about themselves beyond their names (Contact::details), read for the
// exports: the birthday and gender, which address books keep in fields of their own.

#include "archive/archive.h"

#include <string>
#include <string_view>
#include <vector>

namespace archive {

/// The value of the detail `name` of `contact`; empty when it has none.
std::string detailOf(const Contact& contact, std::string_view name);

/// The birthday the contact gave (BirthYear, BirthMonth, BirthDay) in ISO 8601: "1975-04-12",
/// "--04-12" without a year, "1975" without a day; empty without one. `basic` leaves the
/// hyphens between the parts out ("19750412", "--0412"), as vCard writes dates.
std::string birthday(const Contact& contact, bool basic = false);

/// "female" or "male" for the Gender ICQ stores (1, 2); empty for none.
std::string genderName(const Contact& contact);

/// True for the details that birthday() and genderName() read.
bool isBirthdayOrGender(std::string_view name);

/// What the contact told about itself in words, for a person to read: "male",
/// "born 1976-05-14", then each other detail as "Home city: Köln".
std::vector<std::string> detailWords(const Contact& contact);

} // namespace archive
