#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace cli {

/// A few lines for a person: owner, server, contacts, sounds, the archive's `archiveLines` and
/// where the record is.
std::string importSummary(const nlohmann::ordered_json& record, const std::string& recordPath,
                          const std::string& archiveLines = "");

} // namespace cli
