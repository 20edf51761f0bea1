#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace testsupport {

/// Builds the Windows installation that `description` describes (see
/// host/mkwin/installation.h) under `root`; a description the builder refuses fails the test.
void buildSample(const nlohmann::json& description, const std::string& root);

} // namespace testsupport
