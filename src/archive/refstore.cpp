#include "archive/refstore.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <type_traits>

#include "archive/exporterror.h"
#include "archive/outfile.h"

namespace archive {

static_assert(sizeof(MessageRef) == 16 && std::is_trivially_copyable_v<MessageRef>,
              "references are written to their files as they lie in memory");

namespace {

// References read at a time from each sorted run while merging, and handed over at a time.
constexpr size_t kChunk = 1024;
constexpr size_t kBatch = 4096;

bool before(const MessageRef& a, const MessageRef& b) {
    return a.uin != b.uin     ? a.uin < b.uin
           : a.time != b.time ? a.time < b.time
                              : a.offset < b.offset;
}

void write(std::FILE* f, const std::vector<MessageRef>& refs) {
    if (std::fwrite(refs.data(), sizeof(MessageRef), refs.size(), f) != refs.size() ||
        std::fflush(f) != 0) {
        throw ExportError(systemError("temporary file", "could not write message references"));
    }
}

// Reads `n` references from the `first` on.
bool read(std::FILE* f, uint64_t first, size_t n, MessageRef* out, std::string& problem) {
    char* const bytes = reinterpret_cast<char*>(out);
    const size_t wanted = n * sizeof(MessageRef);
    size_t got = 0;
    while (got < wanted) {
        const ssize_t r = ::pread(::fileno(f), bytes + got, wanted - got,
                                  static_cast<off_t>(first * sizeof(MessageRef) + got));
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r <= 0) {
            problem = r == 0
                          ? "temporary file: message references missing (it ends early)"
                          : systemError("temporary file", "could not read message references back");
            return false;
        }
        got += static_cast<size_t>(r);
    }
    return true;
}

// One sorted run of the file by contact, read a chunk at a time.
struct Run {
    uint64_t next;
    uint64_t end;
    std::vector<MessageRef> chunk;
    size_t at = 0;

    const MessageRef& head() const { return chunk[at]; }
    bool refill(std::FILE* f, std::string& problem) {
        chunk.resize(static_cast<size_t>(std::min<uint64_t>(kChunk, end - next)));
        at = 0;
        if (!read(f, next, chunk.size(), chunk.data(), problem)) {
            return false;
        }
        next += chunk.size();
        return true;
    }
};

} // namespace

RefStore::RefStore(size_t limit) : limit_(std::max<size_t>(limit, 1)) {}

void RefStore::add(const MessageRef& ref) {
    if (held_.size() == limit_ && !inMemory_) {
        spill();
    }
    held_.push_back(ref);
    ++size_;
}

void RefStore::reserve(uint64_t n) {
    held_.reserve(static_cast<size_t>(std::min<uint64_t>(n, limit_)));
}

void RefStore::finish() {
    if (spilled_ == 0) {
        addUins(held_);
        if (held_.capacity() - held_.size() > held_.size() / 4) {
            held_.shrink_to_fit();
        }
        return;
    }
    if (!held_.empty()) {
        spill();
    }
    held_ = std::vector<MessageRef>();
}

void RefStore::spill() {
    if (!asGathered_) {
        try {
            asGathered_ = temporaryFile();
            byContact_ = temporaryFile();
        } catch (const ExportError&) {
            asGathered_.reset();
            inMemory_ = true;
            return;
        }
    }
    addUins(held_);
    write(asGathered_.get(), held_);
    std::sort(held_.begin(), held_.end(), before);
    write(byContact_.get(), held_);
    spilled_ += held_.size();
    held_.clear();
}

void RefStore::addUins(const std::vector<MessageRef>& refs) {
    std::vector<uint32_t> found = uins_;
    for (const MessageRef& r : refs) {
        // A conversation's messages often follow each other.
        if (found.size() == uins_.size() || found.back() != r.uin) {
            found.push_back(r.uin);
        }
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    uins_ = std::move(found);
}

// Both orders are total (offsets are unique), so sorting in place gives the same order
// whatever came before, and no copy doubles the memory.
void RefStore::sortHeld(RefOrder order) {
    if (order == heldOrder_) {
        return;
    }
    if (order == RefOrder::File) {
        std::sort(held_.begin(), held_.end(),
                  [](const MessageRef& a, const MessageRef& b) { return a.offset < b.offset; });
    } else {
        std::sort(held_.begin(), held_.end(), before);
    }
    heldOrder_ = order;
}

bool RefStore::forEach(RefOrder order, const std::function<bool(const MessageRef*, size_t)>& visit,
                       std::string& problem) {
    if (spilled_ == 0) {
        sortHeld(order);
        if (!held_.empty()) {
            visit(held_.data(), held_.size());
        }
        return true;
    }
    bool going = true;
    const auto told = [&](const MessageRef* refs, size_t n) { return going = visit(refs, n); };
    if (!forEachSpilled(order, told, problem)) {
        return false;
    }
    // Before finish() the last references of a walk in file order are still held.
    if (going && !held_.empty() && order == RefOrder::File) {
        visit(held_.data(), held_.size());
    }
    return true;
}

bool RefStore::forEachSpilled(RefOrder order,
                              const std::function<bool(const MessageRef*, size_t)>& visit,
                              std::string& problem) const {
    std::vector<MessageRef> batch(kBatch);
    if (order == RefOrder::File) {
        for (uint64_t first = 0; first < spilled_; first += kBatch) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(kBatch, spilled_ - first));
            if (!read(asGathered_.get(), first, n, batch.data(), problem)) {
                return false;
            }
            if (!visit(batch.data(), n)) {
                return true;
            }
        }
        return true;
    }
    std::vector<Run> runs;
    for (uint64_t start = 0; start < spilled_; start += limit_) {
        runs.push_back({start, std::min<uint64_t>(start + limit_, spilled_), {}});
        if (!runs.back().refill(byContact_.get(), problem)) {
            return false;
        }
    }
    // A heap of runs by their heads, the first at the top.
    const auto later = [&](size_t a, size_t b) { return before(runs[b].head(), runs[a].head()); };
    std::vector<size_t> heap(runs.size());
    for (size_t r = 0; r < runs.size(); ++r) {
        heap[r] = r;
    }
    std::make_heap(heap.begin(), heap.end(), later);
    size_t n = 0;
    while (!heap.empty()) {
        std::pop_heap(heap.begin(), heap.end(), later);
        Run& run = runs[heap.back()];
        batch[n++] = run.chunk[run.at++];
        if (run.at < run.chunk.size()) {
            std::push_heap(heap.begin(), heap.end(), later);
        } else if (run.next < run.end) {
            if (!run.refill(byContact_.get(), problem)) {
                return false;
            }
            std::push_heap(heap.begin(), heap.end(), later);
        } else {
            heap.pop_back();
        }
        if (n == kBatch || heap.empty()) {
            if (!visit(batch.data(), n)) {
                return true;
            }
            n = 0;
        }
    }
    return true;
}

} // namespace archive
