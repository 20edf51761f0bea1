#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace cli {

/// A few lines for a person: owner, server, contacts, sounds and where the record is.
std::string importSummary(const nlohmann::ordered_json& record, const std::string& recordPath);

} // namespace cli
