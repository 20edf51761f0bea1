#pragma once

#include <string>
#include <vector>

#include "archiverun.h"
#include "ownerdatabase.h"

namespace cli {

// Owner files keep the nickname in the installation's ANSI code page (`codepage`, an iconv
// name); the functions below show and compare it decoded from there.

/// The nickname without its line end, UTF-8 as it is, else decoded from `codepage`; control
/// characters escaped.
std::string shownNickname(const OwnerFile& owner, const std::string& codepage);

/// "Rover (UIN 23456789)".
std::string ownerName(const OwnerFile& owner, const std::string& codepage);

/// Why the importer cannot reach an owner that another of the same nickname hides; empty for
/// an owner it can reach.
std::string unreachableWhy(const OwnerFile& owner, const std::vector<OwnerFile>& owners);

/// The owner that `wanted` names: a nickname as the page shows it, its exact bytes or as --list
/// prints it; else a UIN; else a nickname without regard to case, when only one owner matches
/// so. A nickname names the owner the importer reaches. Null with one line in `error`
/// otherwise.
const OwnerFile* matchOwner(const std::vector<OwnerFile>& owners, const std::string& wanted,
                            const std::string& codepage, std::string& error);

/// The owners as --list prints them, a line each under a heading: nickname, UIN, contacts on
/// the list and messages (`counts`, one for each owner; "?" where nothing), and for an owner the
/// importer cannot reach, why.
std::string ownerTable(const std::vector<OwnerFile>& owners,
                       const std::vector<std::optional<OwnerCounts>>& counts,
                       const std::string& codepage);

/// Lists the owners with numbers on standard error and asks on standard input which one,
/// again after an answer that names none (a number, or what --owner takes). Null when input
/// ends.
const OwnerFile* askOwner(const std::vector<OwnerFile>& owners, const std::string& windowsRoot,
                          const std::string& codepage);

} // namespace cli
