#pragma once

#include "archive/archive.h"

#include <string>

namespace archive {

/// One vCard 4.0 (RFC 6350) for `contact`: UTF-8, values escaped, lines ended with CRLF and
/// folded at 75 octets. `group` is the name of its group, empty for none. A contact that is
/// not on the list says so in a NOTE; every card has its status as X-ICQ-STATUS.
std::string vcard(const Contact& contact, const std::string& group);

} // namespace archive
