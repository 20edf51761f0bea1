#pragma once

// The ICQ archive: what a structured reading of an owner's database (<UIN>.dat with or without
// its <UIN>.idx) delivers, and what the exports consume. Every text here is UTF-8, decoded from
// the database's code page (or taken from the UTF-8 copy of a long message). Passwords and
// `Crypt` properties never reach these types.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace archive {

/// Message references (16 bytes each) a database keeps in memory: 8 MiB.
constexpr size_t kReferencesInMemory = size_t{1} << 19;

/// How a database is read.
struct Settings {
    /// The Windows ANSI code page of the machine that wrote the database; an iconv name.
    std::string codepage = "CP1252";
    /// The source machine's time zone (IANA name); times are written in it, with its offset.
    std::string timeZone = "UTC";
    /// Seconds added to every stored stamp to get UTC (0: the stamps are UTC already).
    int64_t timeOffset = 0;
    /// Walk the index tree when the .idx is there and sound; false walks the data file's
    /// allocation bitmap.
    bool useIndex = true;
    /// Deliver the messages the owner moved to ICQ's Deleted folder too, marked as such; false
    /// counts them in the report only.
    bool deletedFolder = false;
    /// Past this many messages their references (and past twice as many entries the index
    /// tree's leaves) go in sorted runs to unnamed temporary files ($TMPDIR, else /tmp), so
    /// that a history of any length is read in bounded memory.
    size_t referencesInMemory = kReferencesInMemory;
};

/// The owner of the database (My Details).
struct Owner {
    uint32_t uin = 0;
    std::string nickName;
    std::string firstName;
    std::string lastName;
    std::string email;
};

/// A group of the owner's contact list.
struct Group {
    uint32_t id = 0;
    std::string name;
};

/// Where a contact stands on the owner's list.
enum class ContactStatus { OnList, AwaitingAuthorisation, Removed, Ignored, Other };

/// One contact, merged over every record of its UIN.
struct Contact {
    uint32_t uin = 0;
    ContactStatus status = ContactStatus::Other;
    /// The status word as stored (2, 3, 5, 12, 13, ...); 0 for a UIN known only from messages.
    int32_t rawStatus = 0;
    /// Links to Group::id; 0 when none.
    uint32_t groupId = 0;
    /// The contact's own nickname (`NickName`).
    std::string nickName;
    /// The owner's own name for the contact (`MyDefinedHandle`).
    std::string handle;
    std::string firstName;
    std::string lastName;
    /// Primary first, then the others, without repeats.
    std::vector<std::string> emails;
    /// What the contact filled in about itself (Home*, Work*, Birth*, Age, Gender, About): each
    /// name as stored with its value (a number in decimal), in the order first met.
    std::vector<std::pair<std::string, std::string>> details{};
    /// False for a UIN that has messages but no contact record.
    bool hasRecord = true;
};

enum class Direction { Received, Sent };

enum class MessageKind {
    Message,
    Url,
    AuthorisationRequest,
    AuthorisationDenied,
    AuthorisationGranted,
    Added,
    SystemRequest,
    WebPager,
    EmailExpress,
    Contacts,
    Sms,
    Other
};

/// One message of the history.
struct Message {
    /// The other party.
    uint32_t uin = 0;
    Direction direction = Direction::Received;
    MessageKind kind = MessageKind::Message;
    /// The subtype as stored.
    uint16_t subtype = 0;
    /// UTC seconds since 1970, after Settings::timeOffset.
    int64_t time = 0;
    /// The text (for a URL its description), line ends as stored.
    std::string text;
    /// The link of a URL message; empty otherwise.
    std::string url;
    /// The stored text bytes exactly (two messages are the same only when these are equal).
    std::string rawText;
    /// The owner moved it to ICQ's Deleted folder (delivered only when Settings::deletedFolder).
    bool inDeletedFolder = false;
    /// Where it was found.
    uint32_t entryId = 0;
    uint64_t offset = 0;
};

/// Streams the history: memory does not grow with it.
class MessageSource {
public:
    virtual ~MessageSource() = default;
    /// Calls `visit` for each message in file order; stops when it answers false.
    virtual void forEachMessage(const std::function<bool(const Message&)>& visit) const = 0;
    /// Calls `visit` for each message, by contact UIN (ascending) and within a contact by time
    /// (then file order); stops when it answers false.
    virtual void
    forEachMessageByContact(const std::function<bool(const Message&)>& visit) const = 0;
    /// The messages streaming had to leave out since the source was opened, one line each
    /// with its place (an entry that changed on the disk meanwhile).
    virtual std::vector<std::string> streamWarnings() const { return {}; }
};

/// The outcome a reading gives the messages and contacts it delivers; an export replaces it
/// with what it did with them.
inline constexpr const char* kReadOutcome = "read";
/// The outcome of a message left out as it is in ICQ's Deleted folder.
inline constexpr const char* kLeftInDeletedFolder = "in the Deleted folder";

/// What became of every entry a walk found, and the problems met on the way.
struct Report {
    /// The databases read, one line each: the path, the version and how it was walked.
    std::vector<std::string> sources;
    /// Entries counted by kind ("message", "contact", "owner", "note", ...) and outcome
    /// ("exported", "unreadable", "unknown kind", "in the Deleted folder", ...).
    std::map<std::pair<std::string, std::string>, uint64_t> entries;
    /// One line per problem, with its place ("entry 2417 at offset 0x1a2b3c: text length 900
    /// past the end of the entry (312 bytes)").
    std::vector<std::string> warnings;
    /// Messages found again in another copy of the database and kept once.
    uint64_t mergedMessages = 0;
};

/// Everything an export needs about one owner.
struct Archive {
    Owner owner;
    std::vector<Group> groups;
    /// Sorted by UIN.
    std::vector<Contact> contacts;
    /// Never null while the archive is exported.
    const MessageSource* messages = nullptr;
    Report report;
    /// How the database was read (for the time zone of the exports).
    Settings settings;
};

} // namespace archive
