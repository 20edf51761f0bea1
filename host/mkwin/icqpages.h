#pragma once

// The page structure of an ICQ database pair.
//
// - <UIN>.dat: the LONGs 4, 8, then pages of 64 205 bytes: a 205-byte header (LONGs 201, 0,
//   0, 0, 0, the next page's offset or -1, 0, the slot size 64, free fragments, free slots,
//   40 zero bytes, a 125-byte allocation bitmap, slot i at bit 7 - (i & 7) of byte i >> 3) and
//   1000 slots of 64 bytes. An entry starts on a slot, takes ceil(bytes / 64) slots and never
//   crosses a page.
// - <UIN>.idx: the LONGs 4, 20, 8, the root node's offset and the database version, then
//   pages of 20 205 bytes (the same header with 1 and the slot size 20) of 1000 nodes of 20
//   bytes. Leaves are {-2, entry ID, next leaf, previous leaf, entry offset}; inner nodes of
//   the balanced 2-3 tree keyed by entry ID are {key0, key1, child0, child1, child2 or -1}
//   (child0 below key0, child1 from key0 and below key1, child2 from key1). All pointers are
//   absolute file offsets.
// - A deleted entry leaves its bytes in free slots; its leaf stays reachable through its
//   predecessor's next pointer, while previous pointers and the tree skip it.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mkwin {

constexpr uint32_t kIcqDatPageSize = 64205;
constexpr uint32_t kIcqIdxPageSize = 20205;
constexpr uint32_t kIcqPageHeaderSize = 205;
constexpr uint32_t kIcqDatSlotSize = 64;
constexpr uint32_t kIcqIdxNodeSize = 20;
constexpr uint32_t kIcqSlotsPerPage = 1000;
/// The longest entry: one whole page of slots.
constexpr uint32_t kIcqMaxEntrySize = kIcqSlotsPerPage * kIcqDatSlotSize;

/// Where bytes go: a file or a string.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool write(std::string_view bytes) = 0;
};

/// Where an entry lies in the data file.
struct IcqEntryPlace {
    uint32_t id = 0;
    uint32_t offset = 0;
    /// Its bytes, the length LONG included.
    uint32_t size = 0;
    /// False for a deleted entry's leftover.
    bool live = true;
};

/// Lays entries out in data pages as they come (one page in memory), and writes the index
/// over them at the end.
class IcqDataWriter {
public:
    explicit IcqDataWriter(ByteSink& dat) : dat_(dat) {}

    /// Places an entry (its bytes from the length on). False when it is larger than a page or
    /// the sink fails.
    bool add(uint32_t id, std::string_view entry) { return place(id, entry, true); }
    /// Leaves a deleted entry's bytes in free slots, with a stale leaf in the index.
    bool addLeftover(uint32_t id, std::string_view entry) { return place(id, entry, false); }
    /// Writes the last page (an empty one when nothing was added).
    bool finish();
    /// Writes the index; entry IDs must be unique.
    bool writeIndex(ByteSink& idx, uint32_t version) const;

    const std::vector<IcqEntryPlace>& places() const { return places_; }

private:
    bool place(uint32_t id, std::string_view entry, bool live);
    bool flushPage(int32_t next);

    ByteSink& dat_;
    std::string page_;
    std::vector<bool> allocated_;
    uint32_t pageIndex_ = 0;
    uint32_t slot_ = 0;
    bool started_ = false;
    std::vector<IcqEntryPlace> places_;
};

/// The page header: signature, next page, kind (0 data, 1 index), slot size, free counts and
/// the allocation bitmap of `allocated` (one flag per slot).
std::string icqPageHeader(int32_t next, bool index, const std::vector<bool>& allocated);

} // namespace mkwin
