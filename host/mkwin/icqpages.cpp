#include "icqpages.h"

#include <algorithm>
#include <array>

#include "icqentries.h"

namespace mkwin {

namespace {

constexpr uint32_t kDatHeaderSize = 8;
constexpr uint32_t kIdxHeaderSize = 20;
constexpr uint32_t kPageSignature = 201;
constexpr uint32_t kBitmapAt = 0x50;
constexpr int32_t kNone = -1;
constexpr int32_t kLeafMark = -2;

uint32_t nodeOffset(uint32_t slot) {
    return kIdxHeaderSize + slot / kIcqSlotsPerPage * kIcqIdxPageSize + kIcqPageHeaderSize +
           slot % kIcqSlotsPerPage * kIcqIdxNodeSize;
}

void appendNode(std::string& out, int32_t a, int32_t b, int32_t c, int32_t d, int32_t e) {
    for (const int32_t v : {a, b, c, d, e}) {
        appendLe32(out, static_cast<uint32_t>(v));
    }
}

struct TreeNode {
    uint32_t slot;
    uint32_t minId;
};

using InnerNode = std::array<int32_t, 5>;

// Groups one level of the tree into nodes of two or three children, all leaves staying at
// one depth; the new nodes take slots from `next` on.
std::vector<TreeNode> parentLevel(const std::vector<TreeNode>& level, std::vector<InnerNode>& inner,
                                  uint32_t& next) {
    std::vector<TreeNode> parents;
    size_t i = 0;
    while (i < level.size()) {
        const size_t left = level.size() - i;
        const size_t take = left == 2 || left == 4 ? 2 : 3;
        const auto offset = [&](size_t k) {
            return static_cast<int32_t>(nodeOffset(level[k].slot));
        };
        const bool three = take == 3;
        inner.push_back({static_cast<int32_t>(level[i + 1].minId),
                         three ? static_cast<int32_t>(level[i + 2].minId) : kNone, offset(i),
                         offset(i + 1), three ? offset(i + 2) : kNone});
        parents.push_back({next++, level[i].minId});
        i += take;
    }
    return parents;
}

} // namespace

std::string icqPageHeader(int32_t next, bool index, const std::vector<bool>& allocated) {
    std::string out;
    appendLe32(out, kPageSignature);
    out.append(16, '\0');
    appendLe32(out, static_cast<uint32_t>(next));
    appendLe32(out, index ? 1 : 0);
    appendLe32(out, index ? kIcqIdxNodeSize : kIcqDatSlotSize);
    uint32_t fragments = 0;
    uint32_t free = 0;
    std::string bitmap(kIcqSlotsPerPage / 8, '\0');
    for (uint32_t i = 0; i < kIcqSlotsPerPage; ++i) {
        const bool used = i < allocated.size() && allocated[i];
        if (used) {
            bitmap[i >> 3] = static_cast<char>(bitmap[i >> 3] | (0x80 >> (i & 7)));
        } else {
            ++free;
            fragments += i == 0 || (i - 1 < allocated.size() && allocated[i - 1]);
        }
    }
    appendLe32(out, fragments);
    appendLe32(out, free);
    out.append(kBitmapAt - out.size(), '\0');
    out += bitmap;
    return out;
}

bool IcqDataWriter::place(uint32_t id, std::string_view entry, bool live) {
    const uint32_t slots =
        static_cast<uint32_t>((entry.size() + kIcqDatSlotSize - 1) / kIcqDatSlotSize);
    if (entry.size() > kIcqMaxEntrySize || slots == 0) {
        return false;
    }
    if (!started_) {
        std::string header;
        appendLe32(header, 4);
        appendLe32(header, kDatHeaderSize);
        if (!dat_.write(header)) {
            return false;
        }
        started_ = true;
        page_.assign(kIcqDatPageSize, '\0');
        allocated_.assign(kIcqSlotsPerPage, false);
    } else if (slot_ + slots > kIcqSlotsPerPage) {
        const uint32_t following = kDatHeaderSize + (pageIndex_ + 1) * kIcqDatPageSize;
        if (!flushPage(static_cast<int32_t>(following))) {
            return false;
        }
        ++pageIndex_;
        slot_ = 0;
    }
    const uint32_t at = kIcqPageHeaderSize + slot_ * kIcqDatSlotSize;
    std::copy(entry.begin(), entry.end(), page_.begin() + at);
    std::fill(allocated_.begin() + slot_, allocated_.begin() + slot_ + slots, live);
    places_.push_back({id, kDatHeaderSize + pageIndex_ * kIcqDatPageSize + at,
                       static_cast<uint32_t>(entry.size()), live});
    slot_ += slots;
    return true;
}

bool IcqDataWriter::flushPage(int32_t next) {
    const std::string header = icqPageHeader(next, false, allocated_);
    std::copy(header.begin(), header.end(), page_.begin());
    const bool ok = dat_.write(page_);
    page_.assign(kIcqDatPageSize, '\0');
    allocated_.assign(kIcqSlotsPerPage, false);
    return ok;
}

bool IcqDataWriter::finish() {
    if (!started_) {
        std::string header;
        appendLe32(header, 4);
        appendLe32(header, kDatHeaderSize);
        started_ = true;
        page_.assign(kIcqDatPageSize, '\0');
        allocated_.assign(kIcqSlotsPerPage, false);
        if (!dat_.write(header)) {
            return false;
        }
    }
    return flushPage(kNone);
}

bool IcqDataWriter::writeIndex(ByteSink& idx, uint32_t version) const {
    std::vector<IcqEntryPlace> leaves = places_;
    std::sort(leaves.begin(), leaves.end(),
              [](const IcqEntryPlace& a, const IcqEntryPlace& b) { return a.id < b.id; });

    // Leaves in ID order take the first slots, the inner nodes the slots after them.
    std::vector<TreeNode> level;
    for (uint32_t i = 0; i < leaves.size(); ++i) {
        if (leaves[i].live) {
            level.push_back({i, leaves[i].id});
        }
    }
    std::vector<InnerNode> inner;
    uint32_t next = static_cast<uint32_t>(leaves.size());
    while (level.size() > 1) {
        level = parentLevel(level, inner, next);
    }
    const int32_t root = level.empty() ? kNone : static_cast<int32_t>(nodeOffset(level[0].slot));

    std::string header;
    for (const uint32_t v : {4u, kIdxHeaderSize, 8u, static_cast<uint32_t>(root), version}) {
        appendLe32(header, v);
    }
    if (!idx.write(header)) {
        return false;
    }
    // Next pointers run through deleted leaves, previous pointers link the live ones only.
    int32_t previousLive = kNone;
    const uint32_t pages = std::max<uint32_t>(1, (next + kIcqSlotsPerPage - 1) / kIcqSlotsPerPage);
    for (uint32_t p = 0; p < pages; ++p) {
        const uint32_t first = p * kIcqSlotsPerPage;
        const uint32_t used = std::min(kIcqSlotsPerPage, next > first ? next - first : 0);
        const int32_t following =
            p + 1 < pages ? static_cast<int32_t>(kIdxHeaderSize + (p + 1) * kIcqIdxPageSize)
                          : kNone;
        std::string page = icqPageHeader(following, true, std::vector<bool>(used, true));
        for (uint32_t slot = first; slot < first + used; ++slot) {
            if (slot >= leaves.size()) {
                const InnerNode& n = inner[slot - leaves.size()];
                appendNode(page, n[0], n[1], n[2], n[3], n[4]);
                continue;
            }
            const int32_t after =
                slot + 1 < leaves.size() ? static_cast<int32_t>(nodeOffset(slot + 1)) : kNone;
            appendNode(page, kLeafMark, static_cast<int32_t>(leaves[slot].id), after, previousLive,
                       static_cast<int32_t>(leaves[slot].offset));
            if (leaves[slot].live) {
                previousLive = static_cast<int32_t>(nodeOffset(slot));
            }
        }
        page.resize(kIcqIdxPageSize, '\0');
        if (!idx.write(page)) {
            return false;
        }
    }
    return true;
}

} // namespace mkwin
