#pragma once

// The ICQ database pair (<UIN>.idx, <UIN>.dat) of ICQ 99a to 2003a: sizes, places and codes.

#include <cstdint>
#include <map>
#include <string>

namespace archive::format {

// <UIN>.dat: the LONGs 4, 8, then pages of a 205-byte header and 1000 slots of 64 bytes.
constexpr uint32_t kDatHeaderSize = 8;
constexpr uint32_t kDatPageSize = 64205;
constexpr uint32_t kPageHeaderSize = 205;
constexpr uint32_t kSlotSize = 64;
constexpr uint32_t kSlotsPerPage = 1000;
// Page header fields, from the page start.
constexpr uint32_t kPageSignature = 201;
constexpr uint32_t kPageKindAt = 0x18;
constexpr uint32_t kPageSlotSizeAt = 0x1C;
constexpr uint32_t kBitmapAt = 0x50;

// <UIN>.idx: a 20-byte header (4, 20, 8, root, version), then pages of 1000 nodes of 20 bytes.
constexpr uint32_t kIdxHeaderSize = 20;
constexpr uint32_t kIdxPageSize = 20205;
constexpr uint32_t kNodeSize = 20;
constexpr uint32_t kLeafMark = 0xFFFFFFFEu;
constexpr uint32_t kNone = 0xFFFFFFFFu;

// Entries: LONG length of the bytes after it, LONG filed in, LONG ID, 16-byte signature.
constexpr uint32_t kEntryIdAt = 8;
constexpr uint32_t kSignatureAt = 12;
constexpr uint32_t kBuildAt = 0x1C;
constexpr uint32_t kOwnerId = 1005;

/// What an entry is, by its signature (and ID for the filing indexes).
enum class Kind {
    FilingIndex,
    Message, ///< E0, the long-message and the second URL signature
    ChatRequest,
    FileRequest,
    External,
    Owner,
    Contact,
    Reminder,
    Label,
    SoundScheme,
    Voice,
    Note,
    EventFolder,
    ServerList,
    Unknown,
};

/// The signature's kind; `form` tells the message forms apart (0 E0, 1 long, 2 second URL).
Kind kindOf(const uint8_t* signature, uint32_t id, int& form);
/// "message", "contact", "owner", "note", ... as the report counts entries.
const char* kindName(Kind kind);

/// The client generation a build number belongs to, which decides an entry's layout.
enum class Era { Icq98, V99a, V99b, V2000, V2001, V2002 };
Era eraOf(uint16_t build);
/// The ICQ version that writes `build` ("99a", "2000b", "2003a", ...; "98" below 200).
std::string versionOfBuild(uint16_t build);
/// The version an index header names (10 "99a", ..., 19 "2001a or later"); empty if unknown.
std::string versionOfIndex(uint32_t version);
/// The database's version from its index header (0 without an index) and the entries read by
/// their build number; "unknown" when neither says.
std::string versionOfDatabase(uint32_t indexVersion, const std::map<uint16_t, uint64_t>& builds);

/// The offset of slot `slot` of data page `page`.
inline uint64_t slotOffset(uint64_t page, uint32_t slot) {
    return kDatHeaderSize + page * kDatPageSize + kPageHeaderSize + uint64_t{slot} * kSlotSize;
}

} // namespace archive::format
