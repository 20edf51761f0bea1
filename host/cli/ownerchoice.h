#pragma once

#include <string>
#include <vector>

#include "archiverun.h"
#include "ownerdatabase.h"

namespace cli {

/// The nickname as the options page shows it (UTF-8, else Windows-1252, without its line end),
/// control characters escaped.
std::string shownNickname(const OwnerFile& owner);

/// "Rover (UIN 23456789)".
std::string ownerName(const OwnerFile& owner);

/// Why the importer cannot reach an owner that another of the same nickname hides; empty for
/// an owner it can reach.
std::string unreachableWhy(const OwnerFile& owner, const std::vector<OwnerFile>& owners);

/// The owner that `wanted` names: a nickname as the page shows it, its exact bytes or as --list
/// prints it; else a UIN; else a nickname without regard to case, when only one owner matches
/// so. A nickname names the owner the importer reaches. Null with one line in `error`
/// otherwise.
const OwnerFile* matchOwner(const std::vector<OwnerFile>& owners, const std::string& wanted,
                            std::string& error);

/// The owners as --list prints them, a line each under a heading: nickname, UIN, contacts on
/// the list and messages (`counts`, one for each owner; "?" where nothing), and for an owner the
/// importer cannot reach, why.
std::string ownerTable(const std::vector<OwnerFile>& owners,
                       const std::vector<std::optional<OwnerCounts>>& counts);

/// Lists the owners with numbers on standard error and asks on standard input which one,
/// again after an answer that names none (a number, or what --owner takes). Null when input
/// ends.
const OwnerFile* askOwner(const std::vector<OwnerFile>& owners, const std::string& windowsRoot);

} // namespace cli
