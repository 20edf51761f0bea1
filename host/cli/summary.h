#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "archiverun.h"

namespace cli {

/// One block for a person: owner, server, contacts (the archive's by standing and the
/// record's), messages, sounds and where the record is. `databaseGap` names the contact
/// database when it could not be read (empty when it could); it is shown when the record holds
/// contacts. `textsHint` (when not empty) says that the texts were decoded in another code page
/// than the old Windows used.
std::string importSummary(const nlohmann::ordered_json& record, const std::string& recordPath,
                          const std::string& databaseGap, const ArchiveOutcome& archive,
                          const std::string& textsHint = {});

/// The block of a run that wrote only the archive of `owner` into `folder`, because no record
/// could be made (`why`).
std::string archiveOnlySummary(const std::string& owner, const ArchiveOutcome& archive,
                               const std::string& folder, const std::string& why,
                               const std::string& textsHint = {});

/// Each sound file the record carried, "KEY: SOURCE -> FOLDER/files/NAME", for -v.
std::vector<std::string> carriedFiles(const nlohmann::ordered_json& record,
                                      const std::string& folder);

/// What a complete import chose but could not carry, in a few words ("2 sound files; the
/// contact database ..."); empty when everything came across.
std::string notCarried(const nlohmann::ordered_json& record, const std::string& databaseGap);

} // namespace cli
