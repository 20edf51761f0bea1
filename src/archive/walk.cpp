#include "walk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bitset>
#include <cerrno>
#include <cstring>
#include <memory>

#include "archive/bytes.h"
#include "archive/format.h"
#include "archive/readahead.h"

namespace archive {

namespace {

constexpr uint8_t kDatHeader[8] = {4, 0, 0, 0, 8, 0, 0, 0};
constexpr uint64_t kLargestDatabase = uint64_t{1} << 32;

std::string hexBytes(const uint8_t* bytes, size_t n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += (i == 0 ? "" : " ");
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

using namespace format;

// Leaves of real trees lie 12 to 13 levels deep; a 2-3 tree of 2^31 entries has at most 31.
constexpr int kMaxDepth = 64;
// Index pages kept in memory while the tree is walked.
constexpr size_t kCachedIndexPages = 64;

std::string describeRead(const ReadOnlyFile& file, uint64_t offset) {
    return file.path() + ": cannot read at offset " + hexOffset(offset) + " (" +
           std::strerror(errno) + ")";
}

/// One data page at a time, read in runs of pages: walks go forward, and the run after the
/// current one is read ahead.
class PageReader {
public:
    explicit PageReader(const ReadOnlyFile& dat) : dat_(dat) {}

    uint64_t pages() const {
        return dat_.size() > kDatHeaderSize
                   ? (dat_.size() - kDatHeaderSize + kDatPageSize - 1) / kDatPageSize
                   : 0;
    }
    /// Makes page `index` the current one; false on a read error.
    bool load(uint64_t index) {
        if (loaded_ && index >= first_ && index < first_ + runPages_) {
            setPage(index);
            return true;
        }
        loaded_ = false;
        if (!ahead_) {
            ahead_ = std::make_unique<ReadAhead>(dat_);
        }
        runPages_ = kRunPages;
        if (!ahead_->read(start(index), kRunPages * kDatPageSize, run_, runGot_,
                          start(index + kRunPages))) {
            // A bad spot of the disk costs only the page it is in.
            runPages_ = 1;
            run_.resize(std::max<size_t>(run_.size(), kDatPageSize));
            if (!dat_.read(start(index), kDatPageSize, run_.data(), runGot_)) {
                return false;
            }
        }
        first_ = index;
        loaded_ = true;
        setPage(index);
        return true;
    }
    uint64_t start(uint64_t index) const { return kDatHeaderSize + index * kDatPageSize; }
    const uint8_t* bytes() const { return bytes_; }
    /// The bytes of the page the file holds (short for a cut last page).
    size_t got() const { return got_; }
    bool allocated(uint32_t slot) const {
        return (bytes_[kBitmapAt + (slot >> 3)] & (0x80 >> (slot & 7))) != 0;
    }

private:
    // 16 pages are 1 MiB: few enough hand-overs between the threads, and the run read ahead
    // stays in the processor's cache.
    static constexpr size_t kRunPages = 16;

    void setPage(uint64_t index) {
        const size_t at = static_cast<size_t>(index - first_) * kDatPageSize;
        bytes_ = run_.data() + at;
        got_ = runGot_ > at ? std::min<size_t>(runGot_ - at, kDatPageSize) : 0;
    }

    const ReadOnlyFile& dat_;
    std::unique_ptr<ReadAhead> ahead_;
    std::vector<uint8_t> run_;
    size_t runPages_ = 0;
    size_t runGot_ = 0;
    uint64_t first_ = 0;
    bool loaded_ = false;
    const uint8_t* bytes_ = nullptr;
    size_t got_ = 0;
};

// What a page header says when it is not a data page's, or empty.
std::string pageHeaderProblem(const PageReader& page) {
    const uint8_t* p = page.bytes();
    if (le32(p) == kPageSignature && le32(p + kPageKindAt) == 0 &&
        le32(p + kPageSlotSizeAt) == kSlotSize) {
        return std::string();
    }
    return "not a data page header (expected 201, kind 0, slot size 64; found " +
           std::to_string(static_cast<int32_t>(le32(p))) + ", " +
           std::to_string(static_cast<int32_t>(le32(p + kPageKindAt))) + ", " +
           std::to_string(static_cast<int32_t>(le32(p + kPageSlotSizeAt))) +
           "); its entries are skipped";
}

uint32_t slotsOf(uint64_t bytes) {
    return static_cast<uint32_t>((bytes + kSlotSize - 1) / kSlotSize);
}

/// Index pages read on demand, a few kept.
class IndexReader {
public:
    explicit IndexReader(const ReadOnlyFile& idx)
        : idx_(idx), cache_(kCachedIndexPages * kIdxPageSize), tags_(kCachedIndexPages, kNone) {}

    uint64_t pages() const {
        return (idx_.size() - kIdxHeaderSize + kIdxPageSize - 1) / kIdxPageSize;
    }

    /// The node slot a pointer names, or false when it names none.
    bool slotOf(uint32_t pointer, uint64_t& slot) const {
        if (pointer < kIdxHeaderSize || uint64_t{pointer} + kNodeSize > idx_.size()) {
            return false;
        }
        const uint64_t inPage = (pointer - kIdxHeaderSize) % kIdxPageSize;
        if (inPage < kPageHeaderSize || (inPage - kPageHeaderSize) % kNodeSize != 0) {
            return false;
        }
        slot = (pointer - kIdxHeaderSize) / kIdxPageSize * kSlotsPerPage +
               (inPage - kPageHeaderSize) / kNodeSize;
        return true;
    }

    /// The 20 bytes of the node at `pointer` (a valid slot), or null on a read error.
    const uint8_t* node(uint32_t pointer) {
        const uint32_t page = (pointer - kIdxHeaderSize) / kIdxPageSize;
        const size_t line = page % kCachedIndexPages;
        uint8_t* bytes = cache_.data() + line * kIdxPageSize;
        if (tags_[line] != page) {
            size_t got = 0;
            const uint64_t start = kIdxHeaderSize + uint64_t{page} * kIdxPageSize;
            if (!idx_.read(start, kIdxPageSize, bytes, got)) {
                tags_[line] = kNone;
                return nullptr;
            }
            tags_[line] = page;
        }
        return bytes + (pointer - kIdxHeaderSize) % kIdxPageSize;
    }

private:
    const ReadOnlyFile& idx_;
    std::vector<uint8_t> cache_;
    std::vector<uint32_t> tags_;
};

// Allocated slots of all data pages with a sound header.
bool allocatedSlots(const ReadOnlyFile& dat, uint64_t& count) {
    PageReader page(dat);
    std::vector<uint8_t> header(kPageHeaderSize);
    count = 0;
    for (uint64_t p = 0; p < page.pages(); ++p) {
        size_t got = 0;
        if (!dat.read(page.start(p), kPageHeaderSize, header.data(), got)) {
            return false;
        }
        if (got < kPageHeaderSize || le32(header.data()) != kPageSignature ||
            le32(header.data() + kPageKindAt) != 0 ||
            le32(header.data() + kPageSlotSizeAt) != kSlotSize) {
            continue;
        }
        for (uint32_t i = 0; i < kSlotsPerPage / 8; ++i) {
            count += std::bitset<8>(header[kBitmapAt + i]).count();
        }
    }
    return true;
}

// The data page and slot an entry offset names, when it names the start of a slot.
bool slotStart(uint64_t offset, uint64_t datSize, uint64_t& page, uint32_t& slot) {
    if (offset < kDatHeaderSize + kPageHeaderSize || offset + 4 > datSize) {
        return false;
    }
    const uint64_t inPage = (offset - kDatHeaderSize) % kDatPageSize;
    if (inPage < kPageHeaderSize || (inPage - kPageHeaderSize) % kSlotSize != 0) {
        return false;
    }
    page = (offset - kDatHeaderSize) / kDatPageSize;
    slot = static_cast<uint32_t>((inPage - kPageHeaderSize) / kSlotSize);
    return true;
}

} // namespace

ReadOnlyFile::~ReadOnlyFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool ReadOnlyFile::open(const std::string& path, std::string& error) {
    path_ = path;
    // O_NONBLOCK: a FIFO must not make the open wait for a writer.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) {
        error = path + ": cannot open the file (" + std::strerror(errno) + ")";
        return false;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = path + ": cannot open the file (" +
                (S_ISDIR(st.st_mode) ? "a folder" : "not a regular file") + ")";
        return false;
    }
    size_ = static_cast<uint64_t>(st.st_size);
    return true;
}

bool ReadOnlyFile::read(uint64_t offset, size_t n, uint8_t* out, size_t& got) const {
    got = 0;
    while (got < n && offset + got < size_) {
        const ssize_t r = ::pread(fd_, out + got, n - got, static_cast<off_t>(offset + got));
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r < 0) {
            return false;
        }
        if (r == 0) {
            break;
        }
        got += static_cast<size_t>(r);
    }
    return true;
}

bool checkDatHeader(const ReadOnlyFile& dat, std::string& error) {
    uint8_t header[16] = {};
    size_t got = 0;
    if (!dat.read(0, sizeof header, header, got)) {
        error = dat.path() + ": cannot read the file (" + std::strerror(errno) + ")";
        return false;
    }
    if (got < sizeof kDatHeader) {
        error = dat.path() + ": not an ICQ database (the file has " + std::to_string(got) +
                " bytes, fewer than its 8-byte header)";
        return false;
    }
    if (!std::equal(kDatHeader, kDatHeader + sizeof kDatHeader, header)) {
        error = dat.path() +
                ": not an ICQ database (expected the header 04 00 00 00 08 00 00 00, found " +
                hexBytes(header, sizeof kDatHeader) + ")";
        return false;
    }
    if (dat.size() >= kLargestDatabase) {
        error = dat.path() + ": not an ICQ database (" + std::to_string(dat.size()) +
                " bytes, more than its 32-bit offsets reach)";
        return false;
    }
    return true;
}

void walkBitmap(const ReadOnlyFile& dat, WalkSink& sink) {
    PageReader page(dat);
    for (uint64_t p = 0; p < page.pages() && !sink.satisfied(); ++p) {
        const uint64_t start = page.start(p);
        if (!page.load(p)) {
            sink.warning(describeRead(dat, start));
            return;
        }
        if (page.got() < kPageHeaderSize) {
            sink.warning(dat.path() + ": data page at offset " + hexOffset(start) +
                         ": the file ends inside its header (" + std::to_string(page.got()) +
                         " of 205 bytes)");
            return;
        }
        const std::string problem = pageHeaderProblem(page);
        if (!problem.empty()) {
            sink.warning(dat.path() + ": data page at offset " + hexOffset(start) + ": " + problem);
            continue;
        }
        uint32_t slot = 0;
        while (slot < kSlotsPerPage) {
            if (!page.allocated(slot)) {
                ++slot;
                continue;
            }
            const size_t at = kPageHeaderSize + slot * kSlotSize;
            if (at + 4 > page.got()) {
                sink.unreadable(start + at, "the file ends inside the entry");
                break;
            }
            const uint64_t size = uint64_t{le32(page.bytes() + at)} + 4;
            const uint64_t room = uint64_t{kSlotsPerPage - slot} * kSlotSize;
            if (size > room) {
                // The slots after it belong to the same entry: those whose "length" does not
                // fit either are passed over with it.
                const uint32_t first = slot++;
                while (slot < kSlotsPerPage && page.allocated(slot) &&
                       kPageHeaderSize + slot * kSlotSize + 4 <= page.got() &&
                       uint64_t{le32(page.bytes() + kPageHeaderSize + slot * kSlotSize)} + 4 >
                           uint64_t{kSlotsPerPage - slot} * kSlotSize) {
                    ++slot;
                }
                const uint32_t more = slot - first - 1;
                sink.unreadable(start + at,
                                "length " + std::to_string(size - 4) +
                                    " past the end of its page (" + std::to_string(room) +
                                    " bytes left)" +
                                    (more == 0 ? std::string()
                                               : "; the " + std::to_string(more) +
                                                     " allocated slots after it hold no entry"));
                continue;
            }
            if (at + size > page.got()) {
                sink.unreadable(start + at, "length " + std::to_string(size - 4) +
                                                " past the end of the file (" +
                                                std::to_string(page.got() - at) + " bytes left)");
                break;
            }
            sink.entry(start + at, page.bytes() + at, size);
            slot += slotsOf(size);
        }
    }
}

uint32_t indexVersion(const ReadOnlyFile& idx) {
    uint8_t header[kIdxHeaderSize];
    size_t got = 0;
    if (!idx.read(0, kIdxHeaderSize, header, got) || got < kIdxHeaderSize || le32(header) != 4 ||
        le32(header + 4) != kIdxHeaderSize || le32(header + 8) != 8) {
        return 0;
    }
    return le32(header + 16);
}

bool readIndexTree(const ReadOnlyFile& idx, uint64_t datSize,
                   const std::function<void(const Leaf&)>& found, std::string& problem) {
    const std::string where = idx.path() + ": ";
    uint8_t header[kIdxHeaderSize];
    size_t got = 0;
    if (!idx.read(0, kIdxHeaderSize, header, got)) {
        problem = describeRead(idx, 0);
        return false;
    }
    if (got < kIdxHeaderSize || le32(header) != 4 || le32(header + 4) != kIdxHeaderSize ||
        le32(header + 8) != 8) {
        problem = where + "not an ICQ index (expected the header 4, 20, 8)";
        return false;
    }
    IndexReader reader(idx);
    std::vector<bool> visited(reader.pages() * kSlotsPerPage);
    struct Step {
        uint32_t pointer;
        uint32_t from; // the node holding the pointer; 0 for the header's root
        int depth;
    };
    std::vector<Step> stack;
    if (le32(header + 12) != kNone) {
        stack.push_back({le32(header + 12), 0, 0});
    }
    const auto holder = [](const Step& step) {
        return step.from == 0 ? std::string("the root pointer")
                              : "the node at " + hexOffset(step.from);
    };
    while (!stack.empty()) {
        const Step step = stack.back();
        stack.pop_back();
        uint64_t slot = 0;
        if (!reader.slotOf(step.pointer, slot)) {
            problem = where + holder(step) + " points at " + hexOffset(step.pointer) +
                      ", which is not a node of the index (" + std::to_string(idx.size()) +
                      " bytes)";
            return false;
        }
        if (visited[slot]) {
            problem = where + holder(step) + " points at the node at " + hexOffset(step.pointer) +
                      " a second time (a loop in the tree)";
            return false;
        }
        visited[slot] = true;
        const uint8_t* node = reader.node(step.pointer);
        if (node == nullptr) {
            problem = describeRead(idx, step.pointer);
            return false;
        }
        if (le32(node) == kLeafMark) {
            const Leaf leaf{le32(node + 16), le32(node + 4)};
            uint64_t page = 0;
            uint32_t dataSlot = 0;
            if (!slotStart(leaf.offset, datSize, page, dataSlot)) {
                problem = where + "the leaf at " + hexOffset(step.pointer) + " for entry " +
                          std::to_string(leaf.id) + " points at " + hexOffset(leaf.offset) +
                          ", which is no entry of the data file (" + std::to_string(datSize) +
                          " bytes)";
                return false;
            }
            found(leaf);
            continue;
        }
        if (step.depth >= kMaxDepth) {
            problem = where + "the tree is deeper than " + std::to_string(kMaxDepth) +
                      " levels at the node at " + hexOffset(step.pointer);
            return false;
        }
        for (int child = 4; child >= 2; --child) {
            const uint32_t pointer = le32(node + 4 * child);
            if (pointer != kNone) {
                stack.push_back({pointer, step.pointer, step.depth + 1});
            }
        }
    }
    return true;
}

namespace {

// By offset; two leaves of one offset, an error the walk names, by their IDs.
bool leafBefore(const Leaf& a, const Leaf& b) {
    return a.offset != b.offset ? a.offset < b.offset : a.id < b.id;
}

} // namespace

void LeafRuns::add(const Leaf& leaf) {
    if (held_.size() == limit_ && runs_.writable()) {
        sortHeld();
        runs_.append(held_);
        held_.clear();
    }
    held_.push_back(leaf);
}

void LeafRuns::reserve(uint64_t n) {
    held_.reserve(static_cast<size_t>(std::min<uint64_t>(n, limit_)));
}

// In place: the buffer of a stable sort would double what the leaves take.
void LeafRuns::sortHeld() {
    std::sort(held_.begin(), held_.end(), leafBefore);
}

bool LeafRuns::forEach(const std::function<bool(const Leaf*, size_t)>& visit,
                       std::string& problem) {
    sortHeld();
    if (!runs_.created()) {
        if (!held_.empty()) {
            visit(held_.data(), held_.size());
        }
        return true;
    }
    if (!held_.empty()) {
        runs_.append(held_);
        held_ = std::vector<Leaf>();
    }
    return runs_.merge(leafBefore, visit, problem);
}

bool walkLeaves(const ReadOnlyFile& dat, LeafRuns& leaves, WalkSink& sink, std::string& problem) {
    PageReader page(dat);
    const std::string where = dat.path() + ": ";
    uint64_t covered = 0;
    bool allReadable = true;
    bool first = true;
    uint32_t previous = 0;
    // False when the index cannot be trusted, with `problem` said.
    const auto walkLeaf = [&](const Leaf& leaf) {
        const auto entry = [&] {
            return "entry " + std::to_string(leaf.id) + " at offset " + hexOffset(leaf.offset);
        };
        if (!first && previous == leaf.offset) {
            problem = where + "two leaves of the index lead to " + entry();
            return false;
        }
        first = false;
        previous = leaf.offset;
        uint64_t p = 0;
        uint32_t slot = 0;
        if (!slotStart(leaf.offset, dat.size(), p, slot) || !page.load(p)) {
            problem = describeRead(dat, leaf.offset);
            return false;
        }
        const size_t at = kPageHeaderSize + slot * kSlotSize;
        if (page.got() < kPageHeaderSize || !page.allocated(slot)) {
            problem = where + "the index leads to " + entry() + ", a free slot";
            return false;
        }
        const uint64_t size = uint64_t{le32(page.bytes() + at)} + 4;
        const uint64_t room = uint64_t{kSlotsPerPage - slot} * kSlotSize;
        if (size > room || at + size > page.got()) {
            sink.unreadable(leaf.offset,
                            "length " + std::to_string(size - 4) + " past the end of its " +
                                (size > room ? "page" : "file") + " (" +
                                std::to_string(std::min<uint64_t>(room, page.got() - at)) +
                                " bytes left)");
            allReadable = false;
            return true;
        }
        if (size >= kEntryIdAt + 4 && le32(page.bytes() + at + kEntryIdAt) != leaf.id) {
            problem = where + "the index leads to " + entry() + ", which holds entry " +
                      std::to_string(le32(page.bytes() + at + kEntryIdAt));
            return false;
        }
        sink.entry(leaf.offset, page.bytes() + at, size);
        covered += slotsOf(size);
        return true;
    };
    bool trusted = true;
    const bool read = leaves.forEach(
        [&](const Leaf* batch, size_t n) {
            for (size_t i = 0; i < n && trusted; ++i) {
                trusted = walkLeaf(batch[i]);
            }
            return trusted;
        },
        problem);
    if (!read || !trusted) {
        return false;
    }
    // Every allocated slot belongs to one live entry: more allocated slots than the leaves'
    // entries cover mean entries the index does not know.
    uint64_t allocated = 0;
    if (allReadable && allocatedSlots(dat, allocated) && allocated > covered) {
        problem = where + "the index leads to entries in " + std::to_string(covered) +
                  " slots, but " + std::to_string(allocated) +
                  " slots are allocated (the index is older than the data file)";
        return false;
    }
    return true;
}

} // namespace archive
