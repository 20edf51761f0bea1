#pragma once

// An ICQ database of ICQ 99a to 2003a (<UIN>.dat, with its <UIN>.idx when it is there), read
// by its structure. Opening walks the file once: the owner, groups and contacts stay in
// memory, each message as a 16-byte reference that streaming reads again, so memory does not
// grow with the history. Files are only ever read. One thread at a time: streaming keeps a
// cache of data pages.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive.h"

namespace archive {

/// How the live entries were found.
enum class Walk {
    IndexTree,       ///< from the root of the .idx tree
    AllocationBitmap ///< through the allocation bitmap of every .dat page
};

/// Told how far the walk of Database::open has come: bytes of the data file behind it, of
/// `total`.
using OpenProgress = std::function<void(uint64_t done, uint64_t total)>;

class Database : public MessageSource {
public:
    /// Opens `datPath` (its .idx is the file beside it with the extension ".idx" in any case).
    /// Null with `error` ("PATH: what happened (cause)") when the file cannot be read as an
    /// ICQ database; a database of ICQ 2003b or later is refused by name. With `visit`, the
    /// messages forEachMessage gives are handed to it while the walk finds them (until it
    /// answers false), so that the file is read only once. When a stale index sends the walk
    /// back to the allocation bitmaps, the messages already handed over are not handed over
    /// again; those the bitmaps do not show (a damaged file) cannot be taken back, and
    /// withdrawn() counts them.
    static std::unique_ptr<Database> open(const std::string& datPath, const Settings& settings,
                                          std::string& error, const OpenProgress& progress = {},
                                          const std::function<bool(const Message&)>& visit = {});
    ~Database() override;

    const std::string& path() const;
    /// The index found beside the data file; empty when there is none.
    const std::string& indexPath() const;
    Walk walk() const;
    /// "99a" ... "2003a", from the index header and the entries' build numbers; "unknown" for
    /// a database without either.
    const std::string& version() const;
    /// The version number of the index header; 0 without an index.
    uint32_t indexVersion() const;
    /// Owner, contact and message entries by the build number that wrote them.
    const std::map<uint16_t, uint64_t>& builds() const;

    const Owner& owner() const;
    const std::vector<Group>& groups() const;
    /// Sorted by UIN, merged over every record of a UIN; UINs known only from messages have
    /// hasRecord false.
    const std::vector<Contact>& contacts() const;
    /// The messages the streams deliver.
    uint64_t messageCount() const;
    /// Messages handed to open()'s visitor that the database does not hold after all: a stale
    /// index led the walk to them before it went back to the allocation bitmaps (0 when the
    /// visitor stopped the walk). Whoever counted while opening counts again when this is not
    /// zero.
    uint64_t withdrawn() const;
    /// What became of every entry; problems met while streaming are added to its warnings.
    const Report& report() const;
    const Settings& settings() const;

    /// The two streams put the messages' references in their order in place: neither may be
    /// started from inside a visitor of the other, nor from two threads at once.
    void forEachMessage(const std::function<bool(const Message&)>& visit) const override;
    void forEachMessageByContact(const std::function<bool(const Message&)>& visit) const override;
    std::vector<std::string> streamWarnings() const override;

    struct State;

private:
    explicit Database(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

/// Everything `db` holds, for the exports, with the database named among the report's sources;
/// `out.messages` points at `db`, which must outlive `out`.
void fillArchive(const Database& db, Archive& out);

/// The refusal of a database of ICQ 2003b or later that `path` names (a folder or file of
/// Messages<UIN>.dbf, Users<UIN>.dbf, O<UIN>.dbf tables, ICQ 7's Messages.qdb or any SQLite
/// file), or empty.
std::string laterFormatRefusal(const std::string& path);

} // namespace archive
