#pragma once

// Reading a record back as record.json holds it (or as RecordWriter::outline() gives it):
// its sections by name and their entries' values. Whatever the JSON holds, nothing throws; a
// part of another shape counts as missing.

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace vqrt {

/// The first section named `name`, or null.
const nlohmann::ordered_json* recordSection(const nlohmann::ordered_json& record,
                                            const std::string& name);
/// The entries of `section`; none for a null section or one without a list of entries.
const nlohmann::ordered_json& sectionEntries(const nlohmann::ordered_json* section);
/// The text value of the first entry `key` of `section`.
std::optional<std::string> entryValue(const nlohmann::ordered_json* section,
                                      const std::string& key);
/// `text` without the line ends at its end: an owner file with CRLF lines leaves a carriage
/// return in the values read from it.
std::string withoutLineEnd(std::string text);

} // namespace vqrt
