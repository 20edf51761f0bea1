#include "archive/refstore.h"

#include <algorithm>
#include <type_traits>

namespace archive {

static_assert(sizeof(MessageRef) == 16 && std::is_trivially_copyable_v<MessageRef>,
              "references are written to their files as they lie in memory");

namespace {

bool before(const MessageRef& a, const MessageRef& b) {
    return a.uin != b.uin     ? a.uin < b.uin
           : a.time != b.time ? a.time < b.time
                              : a.offset < b.offset;
}

bool byOffset(const MessageRef& a, const MessageRef& b) {
    return a.offset < b.offset;
}

} // namespace

RefStore::RefStore(size_t limit) : limit_(std::max<size_t>(limit, 1)) {}

void RefStore::add(const MessageRef& ref) {
    if (held_.size() == limit_ && runs_.writable()) {
        spill();
    }
    held_.push_back(ref);
    ++size_;
}

void RefStore::reserve(uint64_t n) {
    held_.reserve(static_cast<size_t>(std::min<uint64_t>(n, limit_)));
}

void RefStore::finish() {
    if (!runs_.created()) {
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
    addUins(held_);
    runs_.append(held_);
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
    if (order == order_) {
        return;
    }
    if (order == RefOrder::File) {
        std::sort(held_.begin(), held_.end(), byOffset);
    } else {
        std::sort(held_.begin(), held_.end(), before);
    }
    order_ = order;
}

bool RefStore::forEach(RefOrder order, const std::function<bool(const MessageRef*, size_t)>& visit,
                       std::string& problem) {
    if (!runs_.created()) {
        sortHeld(order);
        if (!held_.empty()) {
            visit(held_.data(), held_.size());
        }
        return true;
    }
    std::vector<MessageRef> run;
    if (order == RefOrder::ByContact) {
        for (size_t r = 0; r < runs_.runs() && order_ != RefOrder::ByContact; ++r) {
            if (!runs_.readRun(r, run, problem)) {
                return false;
            }
            std::sort(run.begin(), run.end(), before);
            if (!runs_.rewriteRun(r, run, problem)) {
                return false;
            }
        }
        order_ = RefOrder::ByContact;
        run = std::vector<MessageRef>();
        return runs_.merge(before, visit, problem);
    }
    for (size_t r = 0; r < runs_.runs(); ++r) {
        if (!runs_.readRun(r, run, problem)) {
            return false;
        }
        if (order_ == RefOrder::ByContact) {
            std::sort(run.begin(), run.end(), byOffset);
        }
        if (!visit(run.data(), run.size())) {
            return true;
        }
    }
    // Before finish() the last references of a walk are still held.
    if (!held_.empty()) {
        visit(held_.data(), held_.size());
    }
    return true;
}

bool RefCursor::holds(uint32_t offset, std::string& problem) {
    for (;;) {
        while (at_ != end_ && at_->offset < offset) {
            ++at_;
        }
        if (at_ != end_) {
            return at_->offset == offset;
        }
        if (nextRun_ < store_.runs_.runs()) {
            if (!store_.runs_.readRun(nextRun_++, run_, problem)) {
                return false;
            }
            at_ = run_.data();
            end_ = at_ + run_.size();
        } else if (!heldRead_) {
            heldRead_ = true;
            at_ = store_.held_.data();
            end_ = at_ + store_.held_.size();
        } else {
            return false;
        }
    }
}

} // namespace archive
