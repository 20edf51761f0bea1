#pragma once

// Records of a fixed size written in runs to an unnamed temporary file and read back a run at
// a time or with sorted runs merged: how the reader keeps what grows with the history out of
// memory.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "archive/exporterror.h"
#include "archive/tempfile.h"

namespace archive {

/// Records read back at a time, and handed over at a time.
constexpr size_t kRunChunk = 1024;
constexpr size_t kRunBatch = 4096;

/// Appends `bytes` to `f`; throws ExportError naming `what`.
void writeRecords(std::FILE* f, const void* bytes, size_t size, const char* what);
/// Writes `size` bytes at `at` of `f`; false with `problem` naming `what`.
bool rewriteRecords(std::FILE* f, uint64_t at, const void* bytes, size_t size, const char* what,
                    std::string& problem);
/// Reads `size` bytes at `at` of `f`; false with `problem` naming `what`.
bool readRecords(std::FILE* f, uint64_t at, void* bytes, size_t size, const char* what,
                 std::string& problem);

template <typename T> class RunFile {
    static_assert(std::is_trivially_copyable_v<T>, "records are written as they lie in memory");

public:
    /// `what` names the records in messages ("message references").
    explicit RunFile(const char* what) : what_(what) {}

    /// Whether records can be written: makes the file the first time it is asked; false, once
    /// and for all, where no temporary file can be made.
    bool writable() {
        if (!file_ && !unmakeable_) {
            try {
                file_ = temporaryFile();
            } catch (const ExportError&) {
                unmakeable_ = true;
            }
        }
        return file_ != nullptr;
    }
    bool created() const { return file_ != nullptr; }
    uint64_t size() const { return size_; }

    /// Appends the records as one run; throws ExportError.
    void append(const std::vector<T>& run) {
        writeRecords(file_.get(), run.data(), run.size() * sizeof(T), what_);
        starts_.push_back(size_);
        size_ += run.size();
    }

    size_t runs() const { return starts_.size(); }
    /// Reads run `r` whole into `out`.
    bool readRun(size_t r, std::vector<T>& out, std::string& problem) const {
        out.resize(static_cast<size_t>(end(r) - starts_[r]));
        return read(starts_[r], out.size(), out.data(), problem);
    }

    /// Writes `run`, of the length it had, over run `r`.
    bool rewriteRun(size_t r, const std::vector<T>& run, std::string& problem) {
        return rewriteRecords(file_.get(), starts_[r] * sizeof(T), run.data(),
                              run.size() * sizeof(T), what_, problem);
    }

    /// The runs, each sorted by `less`, merged into one order and handed over in batches.
    template <typename Less>
    bool merge(Less less, const std::function<bool(const T*, size_t)>& visit,
               std::string& problem) const {
        std::vector<Run> runs;
        for (size_t r = 0; r < starts_.size(); ++r) {
            runs.push_back({starts_[r], end(r), {}});
            if (!refill(runs.back(), problem)) {
                return false;
            }
        }
        // A heap of runs by their heads, the first at the top.
        const auto later = [&](size_t a, size_t b) {
            return less(runs[b].chunk[runs[b].at], runs[a].chunk[runs[a].at]);
        };
        std::vector<size_t> heap(runs.size());
        for (size_t r = 0; r < runs.size(); ++r) {
            heap[r] = r;
        }
        std::make_heap(heap.begin(), heap.end(), later);
        std::vector<T> batch(kRunBatch);
        size_t n = 0;
        while (!heap.empty()) {
            std::pop_heap(heap.begin(), heap.end(), later);
            Run& run = runs[heap.back()];
            batch[n++] = run.chunk[run.at++];
            if (run.at == run.chunk.size() && run.next == run.end) {
                heap.pop_back();
            } else {
                if (run.at == run.chunk.size() && !refill(run, problem)) {
                    return false;
                }
                std::push_heap(heap.begin(), heap.end(), later);
            }
            if (n == kRunBatch || heap.empty()) {
                if (!visit(batch.data(), n)) {
                    return true;
                }
                n = 0;
            }
        }
        return true;
    }

private:
    struct Run {
        uint64_t next;
        uint64_t end;
        std::vector<T> chunk;
        size_t at = 0;
    };

    /// Where run `r` ends: where the next begins.
    uint64_t end(size_t r) const { return r + 1 < starts_.size() ? starts_[r + 1] : size_; }
    bool read(uint64_t first, size_t n, T* out, std::string& problem) const {
        return readRecords(file_.get(), first * sizeof(T), out, n * sizeof(T), what_, problem);
    }
    bool refill(Run& run, std::string& problem) const {
        run.chunk.resize(static_cast<size_t>(std::min<uint64_t>(kRunChunk, run.end - run.next)));
        run.at = 0;
        if (!read(run.next, run.chunk.size(), run.chunk.data(), problem)) {
            return false;
        }
        run.next += run.chunk.size();
        return true;
    }

    const char* what_;
    TemporaryFile file_;
    bool unmakeable_ = false;
    std::vector<uint64_t> starts_;
    uint64_t size_ = 0;
};

} // namespace archive
