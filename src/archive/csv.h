#pragma once

#include "archive/archive.h"

#include <string>

namespace archive {

/// The header row of contacts.csv (RFC 4180, CRLF).
std::string contactsCsvHeader();
/// The row of contacts.csv for `contact`: every field, its status by name and by stored
/// number, its group by id and by name (`group`, empty for none). Fields holding a comma,
/// quote or line end are quoted.
std::string contactsCsvRow(const Contact& contact, const std::string& group);

} // namespace archive
