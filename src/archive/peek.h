#pragma once

// Who a database belongs to, read from its owner entry alone: enough to tell several
// databases apart before one of them is read whole.

#include <optional>
#include <string>

#include "archive/archive.h"

namespace archive {

/// The owner entry of a database and the ICQ version that wrote it.
struct OwnerPeek {
    Owner owner;
    /// "2000b", "2001a or later", ...; "unknown" when neither the index nor the entry says.
    std::string version;
};

/// Reads the owner entry (My Details) of the database `datPath`, its texts decoded from
/// `codepage`: through the index when the index leads to it (and lies, links followed, in the
/// data file's folder), else through the data pages from the first, which stop at the page
/// that holds it. Empty with `error` ("PATH: why") when the
/// file cannot be read or holds no readable owner entry.
std::optional<OwnerPeek> peekOwner(const std::string& datPath, const std::string& codepage,
                                   std::string& error);

} // namespace archive
