#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace mkwin {

/// Builds the Windows installation that `description` describes under the folder `root`
/// (created if missing). False with one line in `*error` naming what is wrong.
bool buildInstallation(const nlohmann::json& description, const std::string& root,
                       std::string* error);

} // namespace mkwin
