#pragma once

#include "archive/archive.h"
#include "archive/exportall.h"

#include <cstdint>
#include <string>
#include <vector>

namespace archive {

/// A number of things and what they are ("on the list", "url").
struct Count {
    std::string label;
    uint64_t n = 0;
};

/// Where a contact stands, for a person: "on the list", "awaiting authorisation", "removed",
/// "ignored", "other", or "known only from messages" without a record.
const char* standing(const Contact& contact);

/// Contacts counted by standing as they come.
class StandingTally {
public:
    void add(const Contact& contact);
    /// The counts in the order above, only those that occur.
    std::vector<Count> counts() const;

private:
    uint64_t n_[6] = {};
};

/// The contacts counted by standing, in the order above, only those that occur.
std::vector<Count> contactsByStanding(const std::vector<Contact>& contacts);

/// The contacts of `status` among `counts` (as contactsByStanding gives them); 0 when none.
uint64_t countOf(const std::vector<Count>& counts, ContactStatus status);

/// "5 on the list, 30 removed"; "none" when there is nothing.
std::string countsLine(const std::vector<Count>& counts);

/// The messages `report` counts as left out in ICQ's Deleted folder.
uint64_t leftInDeletedFolder(const Report& report);

/// "786 in 20 conversations exported to history/", with the messages of ICQ's Deleted folder
/// exported or left out.
std::string messagesText(const Report& report, const ExportResult& result);

/// What a person is shown after exportAll wrote `archive` with all four exports: contacts by
/// standing, messages and conversations, copies merged and warnings, one "Label:  text" line
/// each, every line starting with `indent`.
std::string exportSummary(const Archive& archive, const ExportResult& result,
                          const std::string& indent);

} // namespace archive
