#pragma once

// The references to a database's messages that one walk gathers, by which the messages are
// read again in either order.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/runfile.h"

namespace archive {

/// Where a message lies and what it is sorted by; 16 bytes, so that memory stays small.
struct MessageRef {
    uint32_t offset = 0;
    uint32_t size = 0;
    uint32_t uin = 0;
    uint32_t time = 0;
};

/// File order is the order of gathering (both walks go by offset); by contact is by UIN, time,
/// then offset.
enum class RefOrder { File, ByContact };

/// The references of one walk. Up to `limit` of them stay in memory and are sorted in place
/// for either order. Past it, each full run of `limit` goes as gathered to an unnamed temporary
/// file. By contact each run is sorted in its place once, and the runs are merged while they
/// are handed over; in file order they are read back in turn, sorted by offset again where
/// they were sorted by contact (a run holds the offsets between those of the runs before and
/// after it). Memory stays bounded whatever the length of the history. Where no temporary
/// file can be made (no folder for them may be written), they all stay in memory.
class RefStore {
public:
    explicit RefStore(size_t limit);

    /// Throws ExportError when a temporary file cannot be written.
    void add(const MessageRef& ref);
    /// Room for `n` references, as far as the limit goes.
    void reserve(uint64_t n);
    /// Ends the gathering: writes the last run if runs were written, frees what is spare.
    /// Throws as add().
    void finish();

    uint64_t size() const { return size_; }
    /// The references held in memory.
    size_t held() const { return held_.size(); }
    /// The distinct UINs of the references, ascending; complete after finish().
    const std::vector<uint32_t>& uins() const { return uins_; }

    /// Hands the references over in batches, each continuing the one before, until `visit`
    /// answers false. By contact only after finish(). False with `problem` when the temporary
    /// file cannot be read back, or its runs not sorted in their place.
    bool forEach(RefOrder order, const std::function<bool(const MessageRef*, size_t)>& visit,
                 std::string& problem);

private:
    friend class RefCursor;
    void spill();
    void addUins(const std::vector<MessageRef>& refs);
    void sortHeld(RefOrder order);

    size_t limit_;
    uint64_t size_ = 0;
    std::vector<MessageRef> held_;
    /// The order of the held references, or of the written runs once there are any.
    RefOrder order_ = RefOrder::File;
    std::vector<uint32_t> uins_;
    RunFile<MessageRef> runs_{"message references"};
};

/// Tells whether offsets, asked in ascending order, are among the references of a store that
/// was never handed over by contact, reading them in file order a run at a time.
class RefCursor {
public:
    explicit RefCursor(const RefStore& store) : store_(store) {}
    /// False too when the temporary file cannot be read back, with `problem` saying why.
    bool holds(uint32_t offset, std::string& problem);

private:
    const RefStore& store_;
    size_t nextRun_ = 0;
    bool heldRead_ = false;
    std::vector<MessageRef> run_;
    const MessageRef* at_ = nullptr;
    const MessageRef* end_ = nullptr;
};

} // namespace archive
