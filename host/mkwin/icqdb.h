#pragma once

// Writes ICQ 2000 contact databases (<UIN>.dat) that look like the ones on real disks:
//
// - The file is a sequence of framed records: a 4-byte little-endian length of the rest of
//   the record, a 4-byte filing number (the kind of record), a 4-byte entry number and a
//   16-byte signature, then the body.
// - Property records (owner details, contacts, groups) hold a property list: per property a
//   2-byte little-endian name length counting the NUL, the name, a NUL, a type byte and the
//   value. Types: 'k' text (2-byte little-endian length counting the NUL, text, NUL), 'i'
//   4-byte little-endian integer, 'd'/'e' one byte, 'f'/'g' two bytes, 'h' four bytes, 'm' a
//   sublist (4-byte byte count, then properties), 'o' a 4-byte length and raw bytes.
//   Properties are in byte order of their names, so the names come before "UIN".
// - Contact records carry a status (2 on the list, 5 removed) and a group; removed and
//   repeated records of the same UIN are common. The owner's own details record holds the
//   owner's UIN and long texts (over 127 and over 255 bytes). Message history records hold
//   raw headers and Windows-1252 texts with no NUL inside.
//
// What a contact reader answers for such a file (see expectedContacts, which computes it):
// the contact records in file order, whatever their status, each giving one contact when it
// carries a NickName or MyDefinedHandle and a UIN that is neither the owner's nor one already
// answered; a later record of an answered UIN, the owner's record and nameless records give
// none. First name, last name and e-mail come from the answered record; when it lacks one,
// the value of the last record read since the previous answered contact that had it (the
// owner's record included) shows instead, or the placeholder ("FirstName", "LastName",
// "PrimaryEmail"; "MyDefinedHandle" and "NickName" for missing names). A record without UIN
// leaves its names to the next UIN read. A text of 127 bytes or more holds as much as the low
// byte of its length, read as a signed count with the NUL, gives (empty from 0x80 to 0xFF).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mkwin {

/// The six properties a contact reader takes, as bits of IcqContactRecord::present.
enum IcqProperty : unsigned {
    kIcqFirstName = 1u << 0,
    kIcqLastName = 1u << 1,
    kIcqMyDefinedHandle = 1u << 2,
    kIcqNickName = 1u << 3,
    kIcqPrimaryEmail = 1u << 4,
    kIcqUin = 1u << 5,
    kIcqAllProperties = (1u << 6) - 1,
};

/// Status word of a contact record.
enum class IcqContactStatus : uint32_t { OnList = 2, Removed = 5 };

/// One contact record. Texts are raw 8-bit bytes (Windows-1252 on real disks).
struct IcqContactRecord {
    uint32_t uin = 0;
    std::string nickName;
    std::string firstName;
    std::string lastName;
    std::string myDefinedHandle;
    std::string primaryEmail;
    /// Which of the six properties the record carries (IcqProperty bits).
    unsigned present = kIcqAllProperties;
    IcqContactStatus status = IcqContactStatus::OnList;
    uint32_t group = 1;
};

/// A whole database. Texts of the six reader properties hold no NUL byte.
struct IcqDatabaseContent {
    uint32_t ownerUin = 0;
    std::string ownerNickName = "Owner";
    std::string ownerFirstName;
    std::string ownerLastName;
    std::string ownerEmail;
    /// The owner's details record comes before contacts[ownerRecordIndex] (after all
    /// contacts when past the end).
    size_t ownerRecordIndex = 0;
    /// Contact records in file order; the same UIN may come several times.
    std::vector<IcqContactRecord> contacts;
    /// About this many bytes of message history, spread between the contact records.
    uint64_t historyBytes = 0;
    /// Seeds everything not given above (other properties, messages, framing numbers).
    unsigned seed = 1;
};

/// A contact as a reader answers it, placeholders filled in.
struct IcqExpectedContact {
    int32_t uin = -111;
    std::string firstName = "FirstName";
    std::string lastName = "LastName";
    std::string myDefinedHandle = "MyDefinedHandle";
    std::string nickName = "NickName";
    std::string primaryEmail = "PrimaryEmail";

    bool operator==(const IcqExpectedContact& other) const;
};

/// Writes the database to `path`, streaming (hundreds of MiB need little memory). On failure
/// answers false with one line in `error` naming the file and the cause.
bool writeIcqDatabase(const std::string& path, const IcqDatabaseContent& content,
                      std::string& error);

/// The bytes of the database, for small cases. Nothing, with one line in `error`, when
/// `content` cannot be written.
std::optional<std::string> icqDatabaseBytes(const IcqDatabaseContent& content, std::string& error);

/// The contacts a reader answers for the database, in order (see the top of this file).
std::vector<IcqExpectedContact> expectedContacts(const IcqDatabaseContent& content);

/// A realistic database: `distinctUins` contacts with Windows-1252 names, about a third on
/// the list and the rest removed, a third with a repeated record, a few without any name, one
/// record of the owner's own UIN, the owner's record among the first contacts, and about
/// `historyBytes` of messages.
IcqDatabaseContent realisticIcqDatabase(uint32_t ownerUin, size_t distinctUins,
                                        uint64_t historyBytes, unsigned seed);

// Building blocks, for tests that need malformed or unusual bytes. Each appends to `out`.

/// 2-byte name length counting the NUL, the name, a NUL and the type byte.
void appendPropertyName(std::string& out, std::string_view name, char type);
/// A 'k' property with the correct length.
void appendTextProperty(std::string& out, std::string_view name, std::string_view text);
/// A 'k' property whose length field is `declaredLength` whatever the text's size; the text
/// and a NUL follow.
void appendTextPropertyWithLength(std::string& out, std::string_view name, uint16_t declaredLength,
                                  std::string_view text);
/// An 'i' property.
void appendIntProperty(std::string& out, std::string_view name, uint32_t value);
/// A 'd' or 'e' property (one byte).
void appendByteProperty(std::string& out, std::string_view name, char type, uint8_t value);
/// An 'f' or 'g' property (two bytes).
void appendWordProperty(std::string& out, std::string_view name, char type, uint16_t value);
/// An 'h' property (four bytes).
void appendDwordProperty(std::string& out, std::string_view name, uint32_t value);
/// An 'o' property: 4-byte length and the raw bytes.
void appendBlobProperty(std::string& out, std::string_view name, std::string_view bytes);
/// An 'm' property: 4-byte byte count and the given, already encoded, properties.
void appendListProperty(std::string& out, std::string_view name, std::string_view properties);
/// One framed record around `body`; `signature` is cut or NUL-padded to 16 bytes.
void appendRecord(std::string& out, uint32_t filing, uint32_t entry, std::string_view signature,
                  std::string_view body);
/// Little-endian integers.
void appendLe16(std::string& out, uint16_t value);
void appendLe32(std::string& out, uint32_t value);

} // namespace mkwin
