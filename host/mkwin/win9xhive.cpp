#include "win9xhive.h"

#include <cctype>
#include <vector>

#include "text/codepage.h"
#include "text/littleendian.h"

namespace mkwin {

namespace {

constexpr size_t kHeader = 0x20;
constexpr size_t kKeyEntry = 0x1C;
constexpr size_t kAreaPage = 0x1000;
constexpr size_t kRecordHeader = 0x14;
constexpr size_t kValueHeader = 0x0C;
constexpr uint32_t kNone = 0xFFFFFFFF;
// The number and block of a key that keeps no record: Windows' root key, which has neither
// a name nor values.
constexpr uint16_t kNoRecord = 0xFFFF;

// A key in the order written: keys are numbered depth first, the root 0.
struct Entry {
    const RegistryKey* key = nullptr;
    uint32_t parent = kNone;
    uint32_t child = kNone;
    uint32_t next = kNone;
    uint16_t block = kNoRecord;
    uint16_t number = kNoRecord;
    std::string record; // empty for a key without one
};

class Writer {
public:
    Writer(const std::string& codepage, std::string& error) : codepage_(codepage), error_(error) {}

    bool collect(const RegistryKey& key, uint32_t parent) {
        const auto index = static_cast<uint32_t>(entries_.size());
        Entry entry;
        entry.key = &key;
        entry.parent = parent;
        entries_.push_back(std::move(entry));
        if (!record(index)) {
            return false;
        }
        uint32_t previous = kNone;
        for (const RegistryKey& child : key.children) {
            const auto childIndex = static_cast<uint32_t>(entries_.size());
            (previous == kNone ? entries_[index].child : entries_[previous].next) = childIndex;
            previous = childIndex;
            if (!collect(child, index)) {
                return false;
            }
        }
        return true;
    }

    std::string finish(size_t blockBytes) {
        std::vector<std::string> blocks;
        for (Entry& e : entries_) {
            if (e.record.empty()) {
                continue;
            }
            if (blocks.empty() ||
                (blocks.back().size() > kHeader &&
                 blocks.back().size() + e.record.size() > blockBytes) ||
                blockNumbers_ == 0xFFFF) {
                blocks.emplace_back(kHeader, '\0');
                blockNumbers_ = 0;
            }
            e.block = static_cast<uint16_t>(blocks.size() - 1);
            e.number = static_cast<uint16_t>(blockNumbers_++);
            text::putLe16(e.record, 0x04, e.number);
            text::putLe16(e.record, 0x06, e.block);
            blocks.back() += e.record;
        }
        // Real key areas keep free room at their end, which readers such as libcreg count on:
        // it reads the area as ending a header's size early. Whole pages, at least that much.
        const size_t needed = 2 * kHeader + entries_.size() * kKeyEntry;
        std::string area((needed + kAreaPage - 1) / kAreaPage * kAreaPage, '\0');
        area.replace(0, 4, "RGKN");
        text::putLe32(area, 0x04, static_cast<uint32_t>(area.size()));
        text::putLe32(area, 0x08, kHeader);
        text::putLe32(area, 0x0C, kNone);
        for (size_t i = 0; i < entries_.size(); ++i) {
            const Entry& e = entries_[i];
            const size_t at = kHeader + i * kKeyEntry;
            text::putLe32(area, at + 0x04, hash(e.key->name));
            text::putLe32(area, at + 0x08, kNone);
            text::putLe32(area, at + 0x0C, offset(e.parent));
            text::putLe32(area, at + 0x10, offset(e.child));
            text::putLe32(area, at + 0x14, offset(e.next));
            text::putLe16(area, at + 0x18, e.number);
            text::putLe16(area, at + 0x1A, e.block);
        }
        std::string file(kHeader, '\0');
        file.replace(0, 4, "CREG");
        text::putLe32(file, 0x04, 0x00010000);
        text::putLe32(file, 0x08, static_cast<uint32_t>(kHeader + area.size()));
        text::putLe16(file, 0x10, static_cast<uint16_t>(blocks.size()));
        file += area;
        for (size_t i = 0; i < blocks.size(); ++i) {
            std::string& b = blocks[i];
            b.replace(0, 4, "RGDB");
            text::putLe32(b, 0x04, static_cast<uint32_t>(b.size()));
            text::putLe16(b, 0x0E, static_cast<uint16_t>(i));
            text::putLe32(b, 0x10, kNone);
            file += b;
        }
        return file;
    }

private:
    static uint32_t offset(uint32_t index) {
        return index == kNone ? kNone : static_cast<uint32_t>(kHeader + index * kKeyEntry);
    }

    // The sum of the name's bytes in upper case, which Windows keeps to find keys faster.
    static uint32_t hash(const std::string& name) {
        uint32_t sum = 0;
        for (const unsigned char c : name) {
            sum += static_cast<uint32_t>(std::toupper(c));
        }
        return sum;
    }

    std::optional<std::string> encode(const std::string& text, const std::string& what) {
        std::string problem;
        std::optional<std::string> bytes = text::fromUtf8(text, codepage_, problem);
        if (!bytes) {
            error_ = what + ": " + problem;
        } else if (bytes->size() > 0xFFFF) {
            error_ = what + ": longer than a Windows 95, 98 or ME registry holds (65535 bytes)";
            return std::nullopt;
        }
        return bytes;
    }

    bool record(uint32_t index) {
        const RegistryKey& key = *entries_[index].key;
        if (index == 0 && key.values.empty()) {
            return true;
        }
        const std::optional<std::string> name = encode(key.name, "key \"" + key.name + "\"");
        if (!name) {
            return false;
        }
        std::string r(kRecordHeader, '\0');
        text::putLe16(r, 0x0C, static_cast<uint16_t>(name->size()));
        text::putLe16(r, 0x0E, static_cast<uint16_t>(key.values.size()));
        r += *name;
        for (const RegistryValue& v : key.values) {
            const std::string what = v.origin.empty() ? "value \"" + v.name + "\"" : v.origin;
            const std::optional<std::string> valueName = encode(v.name, what);
            std::optional<std::string> data = v.data;
            if (v.textual) {
                data = encode(v.data, what);
                if (data) {
                    data->push_back('\0');
                }
            }
            if (!valueName || !data) {
                return false;
            }
            if (data->size() > 0xFFFF) {
                error_ = what + ": longer than a Windows 95, 98 or ME registry holds (65535 bytes)";
                return false;
            }
            std::string head(kValueHeader, '\0');
            text::putLe32(head, 0x00, v.type);
            text::putLe16(head, 0x08, static_cast<uint16_t>(valueName->size()));
            text::putLe16(head, 0x0A, static_cast<uint16_t>(data->size()));
            r += head + *valueName + *data;
        }
        text::putLe32(r, 0x00, static_cast<uint32_t>(r.size()));
        text::putLe32(r, 0x08, static_cast<uint32_t>(r.size()));
        entries_[index].record = std::move(r);
        return true;
    }

    const std::string& codepage_;
    std::string& error_;
    std::vector<Entry> entries_;
    size_t blockNumbers_ = 0;
};

} // namespace

std::optional<std::string> win9xRegistryFile(const RegistryTree& tree, const std::string& codepage,
                                             std::string& error, size_t blockBytes) {
    Writer writer(codepage, error);
    if (!writer.collect(tree.root(), kNone)) {
        return std::nullopt;
    }
    return writer.finish(blockBytes);
}

} // namespace mkwin
