#pragma once

// The layouts of owner (My Details), contact and message entries, chosen by each entry's own
// build number. Parsers take the entry's bytes (from its length LONG on) and answer views into
// them; on failure `problem` says what did not fit, with its place in the entry.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "archive/format.h"
#include "archive/properties.h"

namespace archive {

/// The fixed start of every entry.
struct EntryHeader {
    uint32_t filed = 0;
    uint32_t id = 0;
    format::Kind kind = format::Kind::Unknown;
    /// Message forms: 0 E0, 1 long message, 2 second URL form.
    int form = 0;
    /// The build of the client that wrote the entry; 0 when the entry is too short to say.
    uint16_t build = 0;
};

/// False when the entry is shorter than its 28-byte header.
bool readEntryHeader(const uint8_t* entry, size_t size, EntryHeader& header, std::string& problem);

/// A group of the owner's contact list.
struct RawGroup {
    uint32_t id = 0;
    std::string_view name;
};

struct OwnerEntry {
    Identity identity;
    std::vector<RawGroup> groups;
    /// Set when the groups could not be read (the identity still was).
    std::string groupProblem;
};

struct ContactEntry {
    uint32_t status = 0;
    uint32_t group = 0;
    Identity identity;
};

/// The bit of MessageEntry::flags that says the owner moved the message to the Deleted folder.
constexpr uint32_t kInDeletedFolder = 2;

struct MessageEntry {
    uint32_t flags = 0;
    uint16_t subtype = 0;
    uint32_t uin = 0;
    /// The stored text without its NUL.
    std::string_view text;
    uint32_t time = 0;
    /// A long message's RTF and UTF-8 copies (2001b and later); empty when absent.
    std::string_view rtf;
    std::string_view utf8;
    /// Set when a 2001b+ long message's copies do not fit the entry (its text still does).
    std::string copyProblem;
};

bool parseOwner(const uint8_t* entry, size_t size, uint16_t build, OwnerEntry& out,
                std::string& problem);
bool parseContact(const uint8_t* entry, size_t size, uint16_t build, ContactEntry& out,
                  std::string& problem);
bool parseMessage(const uint8_t* entry, size_t size, int form, uint16_t build, MessageEntry& out,
                  std::string& problem);

} // namespace archive
