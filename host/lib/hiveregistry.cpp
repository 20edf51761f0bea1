#include "hiveregistry.h"

#include "fdio.h"

#include <fcntl.h>
#include <hivex.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "text/codepage.h"
#include "text/littleendian.h"
#include "text/names.h"
#include "text/printable.h"
#include "text/utf8.h"

namespace vqrt {

namespace {

constexpr size_t kBlock = 4096;
constexpr size_t kMinHiveSize = 2 * kBlock;
// No value the host hands out needs more; a larger one is treated as unreadable.
constexpr size_t kMaxValueBytes = 16u << 20;
// A damaged hive is repaired in memory only up to this size.
constexpr off_t kMaxRepairBytes = off_t{1} << 30;

struct HiveCloser {
    void operator()(hive_h* hive) const { hivex_close(hive); }
};
using HiveHandle = std::unique_ptr<hive_h, HiveCloser>;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Malloced = std::unique_ptr<T, FreeDeleter>;

uint32_t headerChecksum(const std::string& b) {
    uint32_t sum = 0;
    for (size_t at = 0; at < 0x1FC; at += 4) {
        sum ^= text::le32(b, at);
    }
    if (sum == 0xFFFFFFFFu) {
        return 0xFFFFFFFEu;
    }
    return sum == 0 ? 1 : sum;
}

// Fixes what an interrupted write leaves in a hive: a stale header checksum, or bins cut
// short. `hive` is the whole file; answers what was fixed, empty when nothing could be.
std::string repairHive(std::string& hive) {
    std::string fixed;
    size_t end = kBlock;
    while (hive.size() - end >= 0x20 && hive.compare(end, 4, "hbin") == 0) {
        const uint32_t size = text::le32(hive, end + 8);
        if (size < kBlock || size % kBlock != 0 || size > hive.size() - end) {
            break;
        }
        end += size;
    }
    if (end == kBlock) {
        return {};
    }
    if (text::le32(hive, 0x28) != end - kBlock) {
        text::putLe32(hive, 0x28, static_cast<uint32_t>(end - kBlock));
        hive.resize(end);
        fixed = "bins cut short";
    }
    if (text::le32(hive, 0x1FC) != headerChecksum(hive)) {
        text::putLe32(hive, 0x1FC, headerChecksum(hive));
        fixed += fixed.empty() ? "header checksum wrong" : ", header checksum wrong";
    }
    return fixed;
}

// hivex reads only named files: the repaired copy lives in an anonymous memory file.
HiveHandle openInMemory(const std::string& bytes) {
    UniqueFd fd(memfd_create("tolvane-hive", MFD_CLOEXEC));
    if (!fd || writeAll(fd.get(), bytes.data(), bytes.size()) != 0) {
        return nullptr;
    }
    const std::string name = "/proc/self/fd/" + std::to_string(fd.get());
    return HiveHandle(hivex_open(name.c_str(), 0));
}

bool isTextByte(unsigned char c) {
    return c >= 0x20 && c < 0x7F;
}

} // namespace

std::string hiveStringToUtf8(std::string_view data, const std::string& codepage) {
    const size_t n = data.size();
    bool alignedNul = false;
    for (size_t i = 0; i + 1 < n && !alignedNul; i += 2) {
        alignedNul = data[i] == '\0' && data[i + 1] == '\0';
    }
    if (!alignedNul) {
        // Without a NUL unit the data may be 8-bit text: then it has no NUL byte but perhaps
        // a last one, and is of odd length, ends in that NUL or is plain ASCII throughout.
        const size_t firstNul = data.find('\0');
        const size_t textEnd = firstNul == std::string_view::npos ? n : firstNul;
        if (textEnd + 1 >= n) {
            bool ascii = true;
            for (size_t i = 0; i < textEnd && ascii; ++i) {
                ascii = isTextByte(static_cast<unsigned char>(data[i]));
            }
            if (n % 2 == 1 || textEnd + 1 == n || ascii) {
                return text::toUtf8(data.substr(0, textEnd), codepage);
            }
        }
    }
    if (n % 2 == 1 && data[n - 1] == '\0') {
        data.remove_suffix(1);
    }
    return text::utf16leToUtf8(data);
}

/// One hive file, read-only; a file that cannot be opened reads as empty.
class HiveFile {
public:
    explicit HiveFile(std::string path);

    RegLookup lookup(const std::vector<std::string>& key, size_t first, std::string_view valueName,
                     const std::string& codepage) const;
    std::vector<std::string> warnings() const;

private:
    hive_node_h child(hive_node_h parent, const std::string& folded) const;
    hive_value_h value(hive_node_h node, const std::string& folded) const;
    RegLookup decode(hive_value_h value, const std::string& codepage) const;
    void noteDamage(const char* what) const;

    std::string path_;
    HiveHandle hive_;
    std::string problem_;
    // Damage met while reading keys after a successful open; the first one is kept.
    mutable std::string damage_;
};

HiveFile::HiveFile(std::string path) : path_(std::move(path)) {
    if (path_.empty()) {
        return;
    }
    struct stat st;
    if (stat(path_.c_str(), &st) != 0) {
        problem_ = path_ + ": cannot open the registry hive (" + std::strerror(errno) + ")";
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        problem_ = path_ + ": not a registry hive (expected a file, found " +
                   (S_ISDIR(st.st_mode) ? "a directory" : "a device, socket or pipe") + ")";
        return;
    }
    if (static_cast<size_t>(st.st_size) < kMinHiveSize) {
        problem_ = path_ + ": not a registry hive (expected at least 8192 bytes, found " +
                   std::to_string(st.st_size) + ")";
        return;
    }
    std::ifstream in(path_, std::ios::binary);
    std::string magic(4, '\0');
    if (!in.read(magic.data(), 4)) {
        problem_ = path_ + ": cannot read the registry hive (" + std::strerror(errno) + ")";
        return;
    }
    if (magic != "regf") {
        problem_ = path_ + ": not a registry hive (expected \"regf\" at the start, found " +
                   text::hexBytes(magic) + ")";
        return;
    }
    errno = 0;
    hive_.reset(hivex_open(path_.c_str(), 0));
    if (hive_) {
        return;
    }
    const std::string reason = std::strerror(errno);
    // Machines that crashed leave hives with a stale checksum or cut short; a repaired copy
    // still holds most keys.
    std::string fixed;
    std::string bytes;
    std::string unread;
    if (st.st_size <= kMaxRepairBytes && readWholeFile(path_, bytes, unread)) {
        fixed = repairHive(bytes);
        if (!fixed.empty()) {
            hive_ = openInMemory(bytes);
        }
    }
    if (hive_) {
        problem_ = path_ + ": damaged registry hive (" + fixed + "), reading what it holds";
    } else {
        problem_ = path_ + ": damaged registry hive, read as empty (hivex: " + reason + ")";
    }
}

std::vector<std::string> HiveFile::warnings() const {
    std::vector<std::string> out;
    if (!problem_.empty()) {
        out.push_back(problem_);
    }
    if (!damage_.empty()) {
        out.push_back(damage_);
    }
    return out;
}

void HiveFile::noteDamage(const char* what) const {
    if (damage_.empty()) {
        damage_ = path_ + ": damaged registry hive (" + what + ": " + std::strerror(errno) + ")";
    }
}

hive_node_h HiveFile::child(hive_node_h parent, const std::string& folded) const {
    errno = 0;
    Malloced<hive_node_h> children(hivex_node_children(hive_.get(), parent));
    if (!children) {
        noteDamage("unreadable subkey list");
        return 0;
    }
    for (const hive_node_h* it = children.get(); *it != 0; ++it) {
        Malloced<char> name(hivex_node_name(hive_.get(), *it));
        if (name && text::foldName(name.get()) == folded) {
            return *it;
        }
    }
    return 0;
}

hive_value_h HiveFile::value(hive_node_h node, const std::string& folded) const {
    errno = 0;
    Malloced<hive_value_h> values(hivex_node_values(hive_.get(), node));
    if (!values) {
        noteDamage("unreadable value list");
        return 0;
    }
    for (const hive_value_h* it = values.get(); *it != 0; ++it) {
        Malloced<char> name(hivex_value_key(hive_.get(), *it));
        if (name && text::foldName(name.get()) == folded) {
            return *it;
        }
    }
    return 0;
}

RegLookup HiveFile::decode(hive_value_h value, const std::string& codepage) const {
    hive_type type;
    size_t len = 0;
    errno = 0;
    if (hivex_value_type(hive_.get(), value, &type, &len) != 0) {
        noteDamage("unreadable value");
        return RegLookup::found(RegValue::makeOther(kRegNone));
    }
    // hivex stores the type number as found in the file, often outside its enumeration: read
    // the bits, not the enumerator.
    static_assert(sizeof type == sizeof(uint32_t));
    uint32_t t;
    std::memcpy(&t, &type, sizeof t);
    const bool text = t == kRegSz || t == kRegExpandSz;
    const bool number = t == kRegDword || t == kRegDwordBigEndian;
    if ((!text && !number) || len > kMaxValueBytes) {
        return RegLookup::found(RegValue::makeOther(t));
    }
    Malloced<char> data(hivex_value_value(hive_.get(), value, &type, &len));
    if (!data) {
        noteDamage("unreadable value data");
        return RegLookup::found(RegValue::makeOther(t));
    }
    const std::string_view bytes(data.get(), len);
    if (text) {
        return RegLookup::found(RegValue::makeText(t, hiveStringToUtf8(bytes, codepage)));
    }
    if (len < 4) {
        return RegLookup::found(RegValue::makeOther(t));
    }
    uint32_t n = 0;
    for (size_t i = 0; i < 4; ++i) {
        const uint32_t byte = static_cast<unsigned char>(bytes[t == kRegDword ? 3 - i : i]);
        n = (n << 8) | byte;
    }
    return RegLookup::found(RegValue::makeNumber(t, static_cast<int32_t>(n)));
}

RegLookup HiveFile::lookup(const std::vector<std::string>& key, size_t first,
                           std::string_view valueName, const std::string& codepage) const {
    if (!hive_) {
        return {};
    }
    hive_node_h node = hivex_root(hive_.get());
    if (node == 0) {
        noteDamage("no root key");
        return {};
    }
    for (size_t i = first; i < key.size() && node != 0; ++i) {
        node = child(node, text::foldName(key[i]));
    }
    if (node == 0) {
        return {};
    }
    const hive_value_h found = value(node, text::foldName(valueName));
    if (found == 0) {
        return {};
    }
    return decode(found, codepage);
}

HiveRegistry::HiveRegistry(const HivePaths& hives, std::string codepage)
    : software_(std::make_unique<HiveFile>(hives.software)),
      system_(std::make_unique<HiveFile>(hives.system)),
      user_(std::make_unique<HiveFile>(hives.user)), codepage_(std::move(codepage)) {}

HiveRegistry::~HiveRegistry() = default;

std::vector<std::string> HiveRegistry::warnings() const {
    std::vector<std::string> out;
    for (const HiveFile* hive : {software_.get(), system_.get(), user_.get()}) {
        for (std::string& p : hive->warnings()) {
            out.push_back(std::move(p));
        }
    }
    return out;
}

RegLookup HiveRegistry::lookup(RegRoot root, const std::vector<std::string>& key,
                               std::string_view valueName) const {
    switch (root) {
    case RegRoot::LocalMachine: {
        // The first component names the machine hive; SOFTWARE and SYSTEM are read.
        const std::string hive = key.empty() ? std::string() : text::foldName(key[0]);
        if (hive == "software") {
            return software_->lookup(key, 1, valueName, codepage_);
        }
        if (hive == "system") {
            return system_->lookup(key, 1, valueName, codepage_);
        }
        return {};
    }
    case RegRoot::CurrentUser:
        return user_->lookup(key, 0, valueName, codepage_);
    default:
        return {};
    }
}

} // namespace vqrt
