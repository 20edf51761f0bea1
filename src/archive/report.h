#pragma once

#include "archive/archive.h"

#include <string>
#include <string_view>
#include <vector>

namespace archive {

/// What report.txt begins with, followed by the owner: how a folder shows an earlier export.
constexpr std::string_view kReportStart = "ICQ archive of ";

/// A file or folder the export wrote, with what it holds ("2 conversations, 3 messages").
struct WrittenFile {
    std::string name;
    std::string holds;
};

/// The text of report.txt: the owner and the reading settings, the files written, every entry
/// counted by kind and outcome, the messages merged from several copies, and the warnings.
std::string reportText(const Archive& archive, const Report& report,
                       const std::vector<WrittenFile>& files);

} // namespace archive
