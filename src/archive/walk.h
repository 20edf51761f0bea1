#pragma once

// Finding the live entries of a database, in file order: through the index tree (the leaves'
// offsets, sorted) or through the allocation bitmap of every data page. Both read the data
// file a page at a time and hand over each entry's bytes, checked to lie inside its page and
// the file.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/runfile.h"

namespace archive {

/// A regular file opened read-only, read with pread.
class ReadOnlyFile {
public:
    ReadOnlyFile() = default;
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    /// False with `error` ("PATH: cannot open the file (No such file or directory)").
    bool open(const std::string& path, std::string& error);
    const std::string& path() const { return path_; }
    uint64_t size() const { return size_; }
    /// Reads up to `n` bytes at `offset`; `got` is short at the end of the file. False (errno
    /// set) on a read error.
    bool read(uint64_t offset, size_t n, uint8_t* out, size_t& got) const;

private:
    int fd_ = -1;
    uint64_t size_ = 0;
    std::string path_;
};

/// Receives what a walk finds.
class WalkSink {
public:
    virtual ~WalkSink() = default;
    /// A live entry: its offset and bytes (from its length LONG on; valid during the call).
    virtual void entry(uint64_t offset, const uint8_t* data, size_t size) = 0;
    /// An entry the walk found but cannot hand over ("length 70000 past the end of its page").
    virtual void unreadable(uint64_t offset, const std::string& problem) = 0;
    /// A problem of no single entry (a damaged page header, a read error).
    virtual void warning(const std::string& problem) = 0;
    /// True once the sink has all it wants: a walk of the allocation bitmaps reads no further
    /// page.
    virtual bool satisfied() const { return false; }
};

/// Checks the data file's 8-byte header and that its size fits 32-bit offsets. False with
/// `error` ("PATH: not an ICQ database (expected ..., found ...)").
bool checkDatHeader(const ReadOnlyFile& dat, std::string& error);

/// Walks every data page's allocation bitmap: an allocated slot starts an entry, which takes
/// ceil((4 + length) / 64) slots.
void walkBitmap(const ReadOnlyFile& dat, WalkSink& sink);

/// A leaf of the index tree: an entry's ID and offset in the data file.
struct Leaf {
    uint32_t offset = 0;
    uint32_t id = 0;
};

/// The header version of an index, 0 when the header is not an index's.
uint32_t indexVersion(const ReadOnlyFile& idx);

/// The leaves of an index tree, handed over sorted by offset (then ID). Up to `limit` of them
/// stay in memory; past it each full run goes sorted to an unnamed temporary file, and the runs
/// are merged when read (all stay in memory where no temporary file can be made).
class LeafRuns {
public:
    explicit LeafRuns(size_t limit) : limit_(std::max<size_t>(limit, 1)) {}

    /// Throws ExportError when the temporary file cannot be written.
    void add(const Leaf& leaf);
    /// The leaves held in memory.
    size_t held() const { return held_.size(); }
    /// Room for `n` leaves, as far as the limit goes.
    void reserve(uint64_t n);
    /// Hands the leaves over in batches until `visit` answers false; false with `problem` when
    /// the temporary file cannot be read back.
    bool forEach(const std::function<bool(const Leaf*, size_t)>& visit, std::string& problem);

private:
    void sortHeld();

    size_t limit_;
    std::vector<Leaf> held_;
    RunFile<Leaf> runs_{"index leaves"};
};

/// Hands over the leaves of the index tree from its root, in the tree's order. False with
/// `problem` naming the place when the index cannot be trusted: a wrong header, a pointer
/// outside the index or into the middle of a node, a node reached twice (a loop), a leaf
/// outside the data file.
bool readIndexTree(const ReadOnlyFile& idx, uint64_t datSize,
                   const std::function<void(const Leaf&)>& found, std::string& problem);

/// Hands over the entries of `leaves` in file order. False with `problem` when a leaf does not
/// lead to an allocated entry of its own ID, or the data pages have allocated slots that no
/// leaf's entry covers: the index is stale or damaged, and what was handed over is not the
/// whole database.
bool walkLeaves(const ReadOnlyFile& dat, LeafRuns& leaves, WalkSink& sink, std::string& problem);

} // namespace archive
