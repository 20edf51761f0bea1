#pragma once

// Writes ICQ databases (<UIN>.dat and its <UIN>.idx) that look like the ones on real disks:
// the page structure of icqpages.h, the entries of icqentries.h, and what real files hold:
//
// - Filing-index entries (IDs 0-3), event folders, a sound scheme and a server list; the
//   owner's My Details (ID 1005) with its groups and long texts (over 127 and 255 bytes), and a
//   password that no reader may export.
// - Contact records of every status (2 on the list, 3 awaiting authorisation, 5 removed, 12
//   ignored, others), repeated records of one UIN, some written by an older client (99b).
// - The message history: conversations of messages with Windows-1252 texts and CRLF line
//   ends, URLs, long messages, system events, messages in the same second, messages in the
//   Deleted Items folder, deleted leftovers, entry IDs that sometimes fall between neighbours.
//
// What the plug-in's byte scan answers for such a file (see expectedContacts, which computes
// it): the contact records in file order, whatever their status, each giving one contact when
// it carries a NickName or MyDefinedHandle and a UIN that is neither the owner's nor one
// already answered; a later record of an answered UIN, the owner's record and nameless
// records give none. First name, last name and e-mail come from the answered record; when it
// lacks one, the value of the last record read since the previous answered contact that had
// it (the owner's record included) shows instead, or the placeholder ("FirstName",
// "LastName", "PrimaryEmail"; "MyDefinedHandle" and "NickName" for missing names). A record
// without UIN leaves its names to the next UIN read. A text of 127 bytes or more holds as much
// as the low byte of its length, read as a signed count with the NUL, gives (empty from 0x80
// to 0xFF). Entries written by 99a keep their names outside properties: the scan sees nothing
// of them.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "icqentries.h"
#include "icqpages.h"

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

/// Status word of a contact record (other numbers occur too).
enum class IcqContactStatus : uint32_t { OnList = 2, Awaiting = 3, Removed = 5, Ignored = 12 };

/// One contact record. Texts are raw 8-bit bytes (Windows-1252 on real disks).
struct IcqContactRecord {
    uint32_t uin = 0;
    std::string nickName;
    std::string firstName;
    std::string lastName;
    std::string myDefinedHandle;
    std::string primaryEmail;
    /// Further addresses (the MoreEmails list).
    std::vector<std::string> moreEmails;
    /// Which of the six properties the record carries (IcqProperty bits).
    unsigned present = kIcqAllProperties;
    IcqContactStatus status = IcqContactStatus::OnList;
    uint32_t group = 1000;
    /// The build of the client that wrote the record; 0: the database's.
    uint16_t build = 0;
    /// What the contact filled in about itself (HomeCity, BirthYear, About, ...), written before
    /// the generated properties: a text in the database's code page, or a number (a SHORT where it
    /// fits, else a LONG).
    std::vector<std::pair<std::string, std::variant<std::string, int32_t>>> details{};
};

/// One message entry, in file order after the contacts and the generated history.
struct IcqMessage {
    IcqMessageFields fields;
    /// The second URL signature (A0...) instead of E0.
    bool urlSecondForm = false;
    /// The build of the client that wrote it; 0: the database's.
    uint16_t build = 0;
};

/// A whole database. Texts of the six reader properties hold no NUL byte.
struct IcqDatabaseContent {
    uint32_t ownerUin = 0;
    std::string ownerNickName = "Owner";
    std::string ownerFirstName;
    std::string ownerLastName;
    std::string ownerEmail;
    /// Written as the owner's Password property; never to be read back by a reader.
    std::string ownerPassword = "pass";
    /// The owner's details come before contacts[ownerRecordIndex] (after all contacts when
    /// past the end).
    size_t ownerRecordIndex = 0;
    std::vector<IcqGroup> groups = {
        {1000, "General"}, {1001, "Friends"}, {1002, "Co-Workers"}, {1003, "Fam\xEDlia"}};
    /// Contact records in file order; the same UIN may come several times.
    std::vector<IcqContactRecord> contacts;
    /// Generated messages: about this many bytes of entries, and at least this many
    /// messages, in conversations spread between the contact records.
    uint64_t historyBytes = 0;
    uint64_t historyMessages = 0;
    /// Messages written after all the rest.
    std::vector<IcqMessage> messages;
    /// The build of the client that wrote the database (465: ICQ 2000b); entries may say
    /// otherwise.
    uint16_t build = 465;
    /// Write the <UIN>.idx beside the .dat.
    bool index = true;
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

/// The bytes of both files, and where each entry went.
struct IcqDatabaseFiles {
    std::string dat;
    /// Empty when the content has no index.
    std::string idx;
    std::vector<IcqEntryPlace> places;
};

/// The index version ICQ writes for a build (10 99a, 14 99b, 17 2000a, 18 2000b, 19 later).
uint32_t icqIndexVersion(uint16_t build);

/// Writes the database to `path` and, unless the content says otherwise, its index beside it
/// (the same name with ".idx"), streaming: hundreds of MiB need little memory. On failure
/// answers false with one line in `error` naming the file and the cause. `places`, when
/// given, receives where each entry went.
bool writeIcqDatabase(const std::string& path, const IcqDatabaseContent& content,
                      std::string& error, std::vector<IcqEntryPlace>* places = nullptr);

/// Both files in memory, for small cases. Nothing, with one line in `error`, when `content`
/// cannot be written.
std::optional<IcqDatabaseFiles> icqDatabaseFiles(const IcqDatabaseContent& content,
                                                 std::string& error);

/// The bytes of the .dat alone.
std::optional<std::string> icqDatabaseBytes(const IcqDatabaseContent& content, std::string& error);

/// The contacts a reader answers for the database, in order (see the top of this file).
std::vector<IcqExpectedContact> expectedContacts(const IcqDatabaseContent& content);

/// A realistic database: `distinctUins` contacts with Windows-1252 names, about a third on
/// the list, most of the rest removed and a few awaiting authorisation or ignored, a third
/// with a repeated record, some written by ICQ 99b, a few without any name, one record of the
/// owner's own UIN, the owner's record among the first contacts, and about `historyBytes` of
/// messages.
IcqDatabaseContent realisticIcqDatabase(uint32_t ownerUin, size_t distinctUins,
                                        uint64_t historyBytes, unsigned seed);

} // namespace mkwin
