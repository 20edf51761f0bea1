#pragma once

// What one walk over a database gathers: the owner, groups and contact records in full, and
// for each message a small reference to read it again by; every entry counted in the report.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/refstore.h"
#include "archive/walk.h"
#include "text/codepage.h"

namespace archive {

/// One contact entry, decoded.
struct ContactRecord {
    uint32_t uin = 0;
    uint32_t status = 0;
    uint32_t group = 0;
    uint32_t filed = 0;
    std::string nickName;
    std::string handle;
    std::string firstName;
    std::string lastName;
    std::vector<std::string> emails;
    std::vector<std::pair<std::string, std::string>> details;
};

/// Entries of one kind and outcome, counted while walking (folded into the report after).
struct Tally {
    const char* kind;
    const char* outcome;
    uint64_t count;
};

/// What a walk gathered.
struct Gathered {
    explicit Gathered(size_t referencesInMemory = kReferencesInMemory)
        : messages(referencesInMemory) {}

    bool hasOwner = false;
    Owner owner;
    std::vector<Group> groups;
    std::vector<ContactRecord> records;
    RefStore messages;
    Report report;
    std::vector<Tally> tallies;
    std::map<uint16_t, uint64_t> builds;
};

/// Hands each message to a visitor as the walk finds it, so that the file is read once.
struct Delivery {
    const std::function<bool(const Message&)>* visit = nullptr;
    int64_t timeOffset = 0;
    /// The messages an earlier walk of the same file handed over, not handed over again.
    RefCursor* done = nullptr;
    /// Messages handed over, and whether the visitor answered false.
    uint64_t handed = 0;
    bool stopped = false;
    Message message;
};

/// Parses every entry a walk hands over.
class Loader : public WalkSink {
public:
    /// With `delivery`, each message goes to its visitor too.
    /// With `deletedFolder`, the messages in ICQ's Deleted folder are gathered as the others.
    Loader(const text::CodepageDecoder& decoder, Gathered& out, Delivery* delivery = nullptr,
           bool deletedFolder = false)
        : decoder_(decoder), out_(out), delivery_(delivery), deletedFolder_(deletedFolder) {}

    void entry(uint64_t offset, const uint8_t* data, size_t size) override;
    void unreadable(uint64_t offset, const std::string& problem) override;
    void warning(const std::string& problem) override;

private:
    void count(const char* kind, const char* outcome);
    void fail(const char* kind, uint32_t id, uint64_t offset, const std::string& problem);
    void owner(uint32_t id, uint64_t offset, const uint8_t* data, size_t size, uint16_t build);
    void contact(uint32_t id, uint32_t filed, uint64_t offset, const uint8_t* data, size_t size,
                 uint16_t build);
    void message(uint32_t id, int form, uint64_t offset, const uint8_t* data, size_t size,
                 uint16_t build);

    const text::CodepageDecoder& decoder_;
    Gathered& out_;
    Delivery* delivery_;
    bool deletedFolder_;
};

/// Contacts merged by UIN, sorted by UIN: the record on the list (status 2 or 3) first, then
/// ignored, other and removed ones; empty fields are filled from the other records of the
/// UIN, e-mails gathered without repeats. UINs of messages without a record get a contact
/// with hasRecord false (`messageUins`: ascending, distinct). Counts each record in `report`.
std::vector<Contact> mergeContacts(const std::vector<ContactRecord>& records,
                                   const std::vector<uint32_t>& messageUins, Report& report);

/// Where an entry lies, as warnings name it: "entry 2417 at offset 0x1a2b3c".
std::string entryPlace(uint32_t id, uint64_t offset);

} // namespace archive
