#include "archive/peek.h"

#include <filesystem>
#include <optional>
#include <vector>

#include "archive/bytes.h"
#include "archive/format.h"
#include "archive/loader.h"
#include "archive/locate.h"
#include "archive/walk.h"
#include "text/codepage.h"

namespace archive {

namespace {

// Parses entries until the owner's is among them.
class OwnerSink : public WalkSink {
public:
    OwnerSink(const text::CodepageDecoder& decoder, Gathered& out)
        : loader_(decoder, out), out_(out) {}

    void entry(uint64_t offset, const uint8_t* data, size_t size) override {
        if (size >= 12 && le32(data + 8) == format::kOwnerId) {
            loader_.entry(offset, data, size);
        }
    }
    void unreadable(uint64_t, const std::string&) override {}
    void warning(const std::string&) override {}
    bool satisfied() const override { return out_.hasOwner; }

private:
    Loader loader_;
    const Gathered& out_;
};

// The entry the index's leaf for the owner leads to, handed to `sink` when it lies inside its
// page and the file.
void readOwnerLeaf(const ReadOnlyFile& idx, const ReadOnlyFile& dat, WalkSink& sink) {
    std::optional<Leaf> owner;
    std::string problem;
    const auto find = [&owner](const Leaf& leaf) {
        if (!owner && leaf.id == format::kOwnerId && leaf.offset >= format::kDatHeaderSize) {
            owner = leaf;
        }
    };
    if (!readIndexTree(idx, dat.size(), find, problem) || !owner) {
        return;
    }
    const Leaf& leaf = *owner;
    const uint64_t page = (leaf.offset - format::kDatHeaderSize) / format::kDatPageSize;
    const uint64_t pageEnd = format::kDatHeaderSize + (page + 1) * format::kDatPageSize;
    uint8_t length[4] = {};
    size_t got = 0;
    if (!dat.read(leaf.offset, sizeof length, length, got) || got < sizeof length) {
        return;
    }
    const uint64_t size = uint64_t{le32(length)} + 4;
    if (leaf.offset + size > pageEnd || leaf.offset + size > dat.size()) {
        return;
    }
    std::vector<uint8_t> bytes(size);
    if (dat.read(leaf.offset, bytes.size(), bytes.data(), got) && got == bytes.size()) {
        sink.entry(leaf.offset, bytes.data(), bytes.size());
    }
}

// True when links lead `a` and `b` into one folder: an index a link leads elsewhere is not
// read, so that a look at whose a database is reads nothing beyond its folder.
bool sameFolder(const std::string& a, const std::string& b) {
    std::error_code ec;
    const std::filesystem::path first = std::filesystem::canonical(a, ec).parent_path();
    if (ec) {
        return false;
    }
    const std::filesystem::path second = std::filesystem::canonical(b, ec).parent_path();
    return !ec && first == second;
}

} // namespace

std::optional<OwnerPeek> peekOwner(const std::string& datPath, const std::string& codepage,
                                   std::string& error) {
    ReadOnlyFile dat;
    if (!dat.open(datPath, error) || !checkDatHeader(dat, error)) {
        return std::nullopt;
    }
    const text::CodepageDecoder decoder(codepage);
    Gathered gathered;
    OwnerSink sink(decoder, gathered);
    ReadOnlyFile idx;
    const std::string indexPath = indexBeside(datPath);
    std::string ignored;
    const bool hasIndex =
        !indexPath.empty() && sameFolder(datPath, indexPath) && idx.open(indexPath, ignored);
    if (hasIndex) {
        readOwnerLeaf(idx, dat, sink);
    }
    if (!gathered.hasOwner) {
        walkBitmap(dat, sink);
    }
    if (!gathered.hasOwner) {
        error = datPath + ": no readable owner entry (My Details, entry 1005)";
        return std::nullopt;
    }
    return OwnerPeek{gathered.owner,
                     format::versionOfDatabase(hasIndex ? indexVersion(idx) : 0, gathered.builds)};
}

} // namespace archive
