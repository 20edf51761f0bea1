#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace cli {

/// A few lines for a person: owner, server, contacts, sounds, the archive's `archiveLines` and
/// where the record is. `databaseGap` names the contact database when it could not be read
/// (empty when it could); it is shown when the record holds contacts.
std::string importSummary(const nlohmann::ordered_json& record, const std::string& recordPath,
                          const std::string& databaseGap = {},
                          const std::string& archiveLines = {});

/// What a complete import chose but could not carry, in a few words ("2 sound files; the
/// contact database ..."); empty when everything came across.
std::string notCarried(const nlohmann::ordered_json& record, const std::string& databaseGap);

} // namespace cli
