#include "win9xregistry.h"

#include <cstdio>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "casepath.h"
#include "fdio.h"
#include "text/codepage.h"
#include "text/littleendian.h"
#include "text/names.h"
#include "text/printable.h"

namespace vqrt {

namespace {

using text::le16;
using text::le32;

// The file begins with a header of 0x20 bytes ("CREG", the offset of the first data block at
// 0x08, the number of data blocks at 0x10); the key area ("RGKN") follows at 0x20. The key
// area and each data block ("RGDB") begin with a header of 0x20 bytes holding their size at
// 0x04; the key area's header holds the root's offset at 0x08. Offsets in the key area count
// from its start; 0xFFFFFFFF means none.
constexpr size_t kFileHeader = 0x20;
constexpr size_t kAreaHeader = 0x20;
// A key in the key area: its first subkey at 0x10, its next sibling at 0x14, and the number
// of its record (0x18) in the data block numbered at 0x1A.
constexpr size_t kKeyEntry = 0x1C;
// A record in a data block: its size at 0x00, its key's number at 0x04 (and at 0x06 what
// is taken for its block's, which is not relied on: a key's record is looked for in the
// block the key names), the bytes in use at 0x08, the name's length at 0x0C, the number of
// values at 0x0E; the name follows, then the values: type at 0x00, name length at 0x08, data
// length at 0x0A, name, data.
constexpr size_t kRecordHeader = 0x14;
constexpr size_t kValueHeader = 0x0C;
constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr uint16_t kFreeRecord = 0xFFFF;
constexpr const char* kKind = "Windows 95, 98 or ME registry file";

std::string hex(size_t value) {
    char out[24];
    std::snprintf(out, sizeof out, "0x%zX", value);
    return out;
}

// The backup Windows keeps beside a registry file (SYSTEM.DA0 for SYSTEM.DAT), in whatever case
// the disk spells it; empty when there is none.
std::string backupOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    std::string name = path.substr(slash + 1);
    if (name.size() < 4 || text::foldName(name.substr(name.size() - 4)) != ".dat") {
        return {};
    }
    name.back() = '0';
    return resolveNoCase(slash == std::string::npos ? "." : path.substr(0, slash), name)
        .value_or("");
}

} // namespace

class Win9xRegistryFile::Reader {
public:
    Reader(std::string_view bytes, const std::string& codepage, Win9xRegistryFile& file)
        : b_(bytes), codepage_(codepage), file_(file) {}

    // The cause of the first problem and how many more there were; empty when none.
    std::string run() {
        if (b_.substr(0, 4) != "CREG") {
            return "not a " + std::string(kKind) + " (expected \"CREG\" at the start, found " +
                   (b_.empty() ? std::string("nothing") : text::hexBytes(b_.substr(0, 4))) + ")";
        }
        if (b_.size() < kFileHeader + kAreaHeader + kKeyEntry) {
            return "not a " + std::string(kKind) + " (expected at least " +
                   std::to_string(kFileHeader + kAreaHeader + kKeyEntry) + " bytes, found " +
                   std::to_string(b_.size()) + ")";
        }
        if (readKeyArea() && readDataBlocks()) {
            readTree();
        }
        if (problems_ == 0) {
            return {};
        }
        return "damaged (" + first_ + ")" +
               (problems_ > 1 ? " and " + std::to_string(problems_ - 1) + " more problems" : "");
    }

private:
    void problem(std::string what) {
        if (problems_++ == 0) {
            first_ = std::move(what);
        }
    }

    bool readKeyArea() {
        if (b_.substr(kFileHeader, 4) != "RGKN") {
            problem("expected \"RGKN\" at " + hex(kFileHeader) + ", found " +
                    text::hexBytes(b_.substr(kFileHeader, 4)));
            return false;
        }
        areaSize_ = le32(b_, kFileHeader + 4);
        if (areaSize_ < kAreaHeader + kKeyEntry || areaSize_ > b_.size() - kFileHeader) {
            problem("the key area at " + hex(kFileHeader) + " gives its size as " + hex(areaSize_) +
                    ", expected " + hex(kAreaHeader + kKeyEntry) + " to " +
                    hex(b_.size() - kFileHeader));
            return false;
        }
        rootEntry_ = le32(b_, kFileHeader + 8);
        return true;
    }

    // Finds every record by its key's number and the block it is in, counted from the first:
    // an id of (block << 16) | number, as the key area gives it.
    bool readDataBlocks() {
        size_t at = le32(b_, 0x08);
        const uint16_t blocks = le16(b_, 0x10);
        for (uint16_t i = 0; i < blocks; ++i) {
            if (at > b_.size() - kAreaHeader || b_.substr(at, 4) != "RGDB") {
                problem("expected data block " + std::to_string(i) + " (\"RGDB\") at " + hex(at) +
                        ", found " +
                        (at < b_.size() ? text::hexBytes(b_.substr(at, 4)) : "the end"));
                return !records_.empty();
            }
            const size_t size = le32(b_, at + 4);
            if (size < kAreaHeader || size > b_.size() - at) {
                problem("data block " + std::to_string(i) + " at " + hex(at) +
                        " gives its size as " + hex(size) + ", expected " + hex(kAreaHeader) +
                        " to " + hex(b_.size() - at));
                return !records_.empty();
            }
            readRecords(i, at + kAreaHeader, at + size);
            at += size;
        }
        return true;
    }

    // The records of a block run up to the first that does not fit in it: what follows is
    // free room, which may hold anything. A record that cannot be read is passed over; the
    // key that needed it says so.
    void readRecords(uint16_t block, size_t at, size_t end) {
        while (end - at >= kRecordHeader) {
            const size_t size = le32(b_, at);
            if (size < kRecordHeader || size > end - at) {
                return;
            }
            const uint16_t number = le16(b_, at + 4);
            const size_t used = le32(b_, at + 8);
            if (number != kFreeRecord && used >= kRecordHeader && used <= size) {
                records_.emplace(uint32_t{block} << 16 | number, std::make_pair(at, used));
            }
            at += size;
        }
    }

    struct Pending {
        uint32_t entry; // the first of a chain of siblings
        Key* parent;
        size_t depth;
    };

    void readTree() {
        if (!validEntry(rootEntry_)) {
            problem("the root key is at " + hex(rootEntry_) + ", outside the key area of " +
                    hex(areaSize_) + " bytes");
            return;
        }
        visited_.insert(rootEntry_);
        // The root has no name; whether it keeps a record at all does not matter.
        if (records_.count(le32(b_, at(rootEntry_) + 0x18)) != 0) {
            readRecord(rootEntry_, file_.root_, file_.root_);
        }
        std::vector<Pending> pending = {{firstChild(rootEntry_), &file_.root_, 1}};
        while (!pending.empty()) {
            const Pending p = pending.back();
            pending.pop_back();
            for (uint32_t entry = p.entry; entry != kNone; entry = le32(b_, at(entry) + 0x14)) {
                if (!validEntry(entry)) {
                    problem("a key links to " + hex(entry) + ", outside the key area of " +
                            hex(areaSize_) + " bytes");
                    break;
                }
                if (!visited_.insert(entry).second) {
                    problem("the key at " + hex(entry) + " of the key area is linked twice");
                    break;
                }
                Key key;
                if (!readRecord(entry, *p.parent, key)) {
                    continue;
                }
                const std::string folded = text::foldName(key.name);
                const auto [it, added] = p.parent->children.emplace(folded, std::move(key));
                if (!added) {
                    problem("the key \"" + text::printable(it->second.name) + "\" appears twice");
                    continue;
                }
                const uint32_t child = firstChild(entry);
                if (child != kNone && p.depth >= kMaxDepth) {
                    problem("keys below \"" + text::printable(it->second.name) +
                            "\" nest deeper than " + std::to_string(kMaxDepth));
                } else if (child != kNone) {
                    pending.push_back({child, &it->second, p.depth + 1});
                }
            }
        }
    }

    bool validEntry(uint32_t entry) const {
        return entry >= kAreaHeader && entry <= areaSize_ - kKeyEntry;
    }

    size_t at(uint32_t entry) const { return kFileHeader + entry; }

    uint32_t firstChild(uint32_t entry) const { return le32(b_, at(entry) + 0x10); }

    // The name and values of the key at `entry`, a subkey of `parent`; false when its record
    // is missing or damaged.
    bool readRecord(uint32_t entry, const Key& parent, Key& key) {
        const auto found = records_.find(le32(b_, at(entry) + 0x18));
        if (found == records_.end()) {
            problem(
                "no record " + std::to_string(le16(b_, at(entry) + 0x18)) + " in data block " +
                std::to_string(le16(b_, at(entry) + 0x1A)) + " can be read for the key at " +
                hex(entry) + " of the key area" +
                (parent.name.empty() ? "" : ", below \"" + text::printable(parent.name) + "\""));
            return false;
        }
        const auto [start, used] = found->second;
        const std::string_view record = b_.substr(start, used);
        const size_t nameLength = le16(record, 0x0C);
        if (nameLength > used - kRecordHeader) {
            problem("the record at " + hex(start) + " has a name of " + hex(nameLength) +
                    " bytes, past its end");
            return false;
        }
        key.name = text::toUtf8(record.substr(kRecordHeader, nameLength), codepage_);
        size_t pos = kRecordHeader + nameLength;
        const uint16_t values = le16(record, 0x0E);
        for (uint16_t i = 0; i < values; ++i) {
            if (used - pos < kValueHeader) {
                problem("value " + std::to_string(i + 1) + " of the record at " + hex(start) +
                        " begins past its end");
                break;
            }
            const size_t nameBytes = le16(record, pos + 0x08);
            const size_t dataBytes = le16(record, pos + 0x0A);
            if (nameBytes + dataBytes > used - pos - kValueHeader) {
                problem("value " + std::to_string(i + 1) + " of the record at " + hex(start) +
                        " runs past its end");
                break;
            }
            const uint32_t type = le32(record, pos);
            const std::string_view name = record.substr(pos + kValueHeader, nameBytes);
            const std::string_view data = record.substr(pos + kValueHeader + nameBytes, dataBytes);
            key.values.emplace(text::foldName(text::toUtf8(name, codepage_)), value(type, data));
            pos += kValueHeader + nameBytes + dataBytes;
        }
        return true;
    }

    RegValue value(uint32_t type, std::string_view data) const {
        if (type == kRegSz || type == kRegExpandSz) {
            return RegValue::makeText(type,
                                      text::toUtf8(data.substr(0, data.find('\0')), codepage_));
        }
        if ((type == kRegDword || type == kRegDwordBigEndian) && data.size() == 4) {
            uint32_t n = le32(data, 0);
            if (type == kRegDwordBigEndian) {
                n = (n >> 24) | ((n >> 8) & 0xFF00) | ((n << 8) & 0xFF0000) | (n << 24);
            }
            return RegValue::makeNumber(type, static_cast<int32_t>(n));
        }
        return RegValue::makeOther(type);
    }

    std::string_view b_;
    const std::string& codepage_;
    Win9xRegistryFile& file_;
    size_t areaSize_ = 0;
    uint32_t rootEntry_ = 0;
    std::unordered_map<uint32_t, std::pair<size_t, size_t>> records_;
    std::unordered_set<uint32_t> visited_;
    size_t problems_ = 0;
    std::string first_;
};

Win9xRegistryFile Win9xRegistryFile::load(const std::string& path, const std::string& codepage) {
    Win9xRegistryFile file;
    std::string bytes;
    if (!readRegularFile(path, kMaxFileBytes, kKind, bytes, file.problem_)) {
        return file;
    }
    return parse(bytes, path, codepage);
}

Win9xRegistryFile Win9xRegistryFile::loadOrBackup(const std::string& path,
                                                  const std::string& codepage) {
    Win9xRegistryFile file = load(path, codepage);
    if (file.problem_.empty()) {
        return file;
    }
    const std::string backupPath = backupOf(path);
    if (backupPath.empty()) {
        return file;
    }
    Win9xRegistryFile backup = load(backupPath, codepage);
    if (!backup.problem_.empty()) {
        return file;
    }
    backup.problem_ = file.problem_ + "; read its copy from the last start of Windows, " +
                      backupPath.substr(backupPath.rfind('/') + 1) + ", instead";
    return backup;
}

Win9xRegistryFile Win9xRegistryFile::parse(std::string_view bytes, const std::string& name,
                                           const std::string& codepage) {
    Win9xRegistryFile file;
    const std::string problem = Reader(bytes, codepage, file).run();
    if (!problem.empty()) {
        file.problem_ = name + ": " + problem;
    }
    return file;
}

const Win9xRegistryFile::Key* Win9xRegistryFile::keyAt(const std::vector<std::string>& key) const {
    const Key* at = &root_;
    for (const std::string& component : key) {
        const auto child = at->children.find(text::foldName(component));
        if (child == at->children.end()) {
            return nullptr;
        }
        at = &child->second;
    }
    return at;
}

const RegValue* Win9xRegistryFile::find(const std::vector<std::string>& key,
                                        std::string_view valueName) const {
    const Key* at = keyAt(key);
    if (at == nullptr) {
        return nullptr;
    }
    const auto value = at->values.find(text::foldName(valueName));
    return value == at->values.end() ? nullptr : &value->second;
}

bool Win9xRegistryFile::hasKey(const std::vector<std::string>& key) const {
    return keyAt(key) != nullptr;
}

std::vector<std::string> Win9xRegistryFile::topKeys() const {
    std::vector<std::string> names;
    for (const auto& child : root_.children) {
        names.push_back(child.second.name);
    }
    return names;
}

Win9xRegistry::Win9xRegistry(const std::string& systemDat, const std::string& userDat,
                             const std::string& codepage) {
    if (!systemDat.empty()) {
        machine_ = Win9xRegistryFile::loadOrBackup(systemDat, codepage);
    }
    if (!userDat.empty()) {
        user_ = Win9xRegistryFile::loadOrBackup(userDat, codepage);
    }
    // The Windows folder's USER.DAT keeps the user's keys below .DEFAULT, as HKEY_USERS does; a
    // profile's may keep them below one key of its own, or at its root.
    if (!user_.hasKey({"Software"})) {
        if (const std::optional<std::string> user = currentUserBelowUsers(user_.topKeys())) {
            userBase_ = {*user};
        }
    }
}

std::vector<std::string> Win9xRegistry::warnings() const {
    std::vector<std::string> lines;
    for (const Win9xRegistryFile* file : {&machine_, &user_}) {
        if (!file->problem().empty()) {
            lines.push_back(file->problem());
        }
    }
    return lines;
}

RegLookup Win9xRegistry::lookup(RegRoot root, const std::vector<std::string>& key,
                                std::string_view valueName) const {
    const RegValue* value = nullptr;
    if (root == RegRoot::LocalMachine) {
        value = machine_.find(key, valueName);
    } else if (root == RegRoot::CurrentUser) {
        std::vector<std::string> path = userBase_;
        path.insert(path.end(), key.begin(), key.end());
        value = user_.find(path, valueName);
    }
    return value != nullptr ? RegLookup::found(*value) : RegLookup();
}

} // namespace vqrt
