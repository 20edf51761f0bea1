#pragma once

#include "archive/archive.h"

#include <set>
#include <string>
#include <string_view>

namespace archive {

/// The name a contact is shown by: the owner's handle for it, else its nickname, else its UIN.
std::string displayName(const Contact& contact);
/// Adds those of `details` whose names `contact` has none of yet: a contact merged from several
/// records keeps the best one's details and gains what only the others hold.
void addDetails(Contact& contact, const std::vector<std::pair<std::string, std::string>>& details);

/// The owner's nickname, else first and last name, else the UIN.
std::string ownerName(const Owner& owner);

/// True for the statuses of a contact that is on the owner's list.
bool onList(ContactStatus status);
/// "on-list", "awaiting-authorisation", "removed", "ignored" or "other".
const char* statusName(ContactStatus status);
/// "received" or "sent".
const char* directionName(Direction direction);
/// "message", "url", "authorisation-request", ...
const char* kindName(MessageKind kind);
/// The kind `kindName` gives `name`; Other for a name it never gives.
MessageKind kindNamed(std::string_view name);
/// What a reader is shown for a message that is not a plain one ("URL", "You were added",
/// "Other (subtype 21)"), with ", in the Deleted folder" for one the owner moved there; empty
/// for a plain message elsewhere.
std::string kindLabel(const Message& message);

/// A file name without extension for the files of `uin`: "<UIN>-<name>", the name cut to a
/// bounded length, without path separators, control characters or characters Windows
/// refuses; just "<UIN>" when nothing of the name is left.
std::string fileStem(uint32_t uin, const std::string& name);

/// Hands out names that differ from every earlier one, also when letter case is ignored.
class UniqueNames {
public:
    /// `stem`, or `stem` with "-2", "-3", ... appended when it was handed out before.
    std::string take(const std::string& stem);

private:
    std::set<std::string> taken_;
};

} // namespace archive
