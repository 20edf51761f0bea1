#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive.h"

namespace icq {

enum class Command { Info, Contacts, History, Export };

/// Everything the command line says.
struct Options {
    Command command = Command::Info;
    /// One database; several, oldest first, for export.
    std::vector<std::string> databases;
    /// The folder export writes into.
    std::string out;
    /// history: only the conversation with this UIN.
    std::optional<uint32_t> uin;
    /// contacts and export: also the contacts not on the list.
    bool allContacts = false;
    /// export: an earlier export of another owner in --out is replaced.
    bool replace = false;
    archive::Settings settings;
    bool quiet = false;
    bool verbose = false;
    /// Progress as "progress DONE TOTAL" lines on standard error, for a program that reads them.
    bool progressLines = false;
};

/// Parses the arguments. Answers nothing when the program is to end at once (help, or a bad
/// argument, already reported); `status` then holds the exit status.
std::optional<Options> parseOptions(int argc, char** argv, int& status);

} // namespace icq
