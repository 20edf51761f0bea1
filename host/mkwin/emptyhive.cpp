#include "emptyhive.h"

#include <hivex.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>

#include "text/littleendian.h"
#include "text/utf8.h"

namespace mkwin {

namespace {

constexpr size_t kBlock = 4096;
// Offsets inside the first (and only) bin, relative to the start of the bin data.
constexpr uint32_t kRootCell = 0x20;
// 2001-01-01 00:00:00 UTC as a FILETIME: fixed, so equal descriptions give equal files.
constexpr uint64_t kTimestamp = 126227808000000000ULL;

void put64(std::string& b, size_t at, uint64_t v) {
    for (int i = 0; i < 8; ++i) {
        b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
}

constexpr uint32_t roundUp8(uint32_t n) {
    return (n + 7) & ~7u;
}

// Self-relative security descriptor: owner Administrators, group SYSTEM, and a DACL that
// gives Everyone full access to the key and its subkeys.
std::string securityDescriptor() {
    std::string sd(76, '\0');
    sd[0] = 1;                    // revision
    text::putLe16(sd, 2, 0x8004); // self-relative, DACL present
    text::putLe32(sd, 4, 20);     // owner SID
    text::putLe32(sd, 8, 36);     // group SID
    text::putLe32(sd, 12, 0);     // no SACL
    text::putLe32(sd, 16, 48);    // DACL
    const char admins[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02, 0, 0};
    std::memcpy(&sd[20], admins, sizeof admins);
    const char system[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
    std::memcpy(&sd[36], system, sizeof system);
    sd[48] = 2;                        // ACL revision
    text::putLe16(sd, 50, 28);         // ACL size
    text::putLe16(sd, 52, 1);          // one ACE
    sd[56] = 0;                        // ACCESS_ALLOWED
    sd[57] = 0x02;                     // inherited by subkeys
    text::putLe16(sd, 58, 20);         // ACE size
    text::putLe32(sd, 60, 0x000F003F); // KEY_ALL_ACCESS
    const char everyone[] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
    std::memcpy(&sd[64], everyone, sizeof everyone);
    return sd;
}

} // namespace

std::string emptyHive(std::string_view rootName) {
    // hivex reads compressed (Latin-1) names; code points past U+00FF become '?'.
    std::string name;
    for (size_t i = 0; i < rootName.size() && name.size() < 255;) {
        const text::Utf8Char c = text::decodeUtf8(rootName, i);
        name += c.codePoint <= 0xFF ? static_cast<char>(c.codePoint) : '?';
        i += c.length;
    }

    std::string hive(kEmptyHiveSize, '\0');

    const std::string sd = securityDescriptor();
    const uint32_t nkSize = roundUp8(0x50 + static_cast<uint32_t>(name.size()));
    const uint32_t skCell = kRootCell + nkSize;
    const uint32_t skSize = roundUp8(0x18 + static_cast<uint32_t>(sd.size()));
    const uint32_t freeCell = skCell + skSize;

    // Base block.
    std::memcpy(&hive[0], "regf", 4);
    text::putLe32(hive, 0x04, 1); // primary sequence number
    text::putLe32(hive, 0x08, 1); // secondary sequence number, equal: the hive is consistent
    put64(hive, 0x0C, kTimestamp);
    text::putLe32(hive, 0x14, 1); // major version
    text::putLe32(hive, 0x18, 3); // minor version (Windows XP)
    text::putLe32(hive, 0x1C, 0); // primary file
    text::putLe32(hive, 0x20, 1); // direct memory load
    text::putLe32(hive, 0x24, kRootCell);
    text::putLe32(hive, 0x28, static_cast<uint32_t>(kBlock)); // hive bins data size
    text::putLe32(hive, 0x2C, 1);                             // clustering factor
    uint32_t checksum = 0;
    for (size_t at = 0; at < 0x1FC; at += 4) {
        checksum ^= text::le32(hive, at);
    }
    if (checksum == 0xFFFFFFFFu) {
        checksum = 0xFFFFFFFEu;
    } else if (checksum == 0) {
        checksum = 1;
    }
    text::putLe32(hive, 0x1FC, checksum);

    // The bin.
    const size_t bin = kBlock;
    std::memcpy(&hive[bin], "hbin", 4);
    text::putLe32(hive, bin + 0x04, 0); // offset of this bin in the bins data
    text::putLe32(hive, bin + 0x08, static_cast<uint32_t>(kBlock));
    put64(hive, bin + 0x14, kTimestamp);

    // Root key cell (negative size: allocated).
    const size_t nk = bin + kRootCell;
    text::putLe32(hive, nk, static_cast<uint32_t>(-static_cast<int32_t>(nkSize)));
    std::memcpy(&hive[nk + 4], "nk", 2);
    text::putLe16(hive, nk + 0x06, 0x2C); // hive entry, not deletable, compressed name
    put64(hive, nk + 0x08, kTimestamp);
    text::putLe32(hive, nk + 0x14, 0); // no parent
    text::putLe32(hive, nk + 0x18, 0); // subkeys
    text::putLe32(hive, nk + 0x1C, 0); // volatile subkeys
    text::putLe32(hive, nk + 0x20, 0xFFFFFFFFu);
    text::putLe32(hive, nk + 0x24, 0xFFFFFFFFu);
    text::putLe32(hive, nk + 0x28, 0); // values
    text::putLe32(hive, nk + 0x2C, 0xFFFFFFFFu);
    text::putLe32(hive, nk + 0x30, skCell);
    text::putLe32(hive, nk + 0x34, 0xFFFFFFFFu); // no class name
    text::putLe16(hive, nk + 0x4C, static_cast<uint16_t>(name.size()));
    text::putLe16(hive, nk + 0x4E, 0);
    std::memcpy(&hive[nk + 0x50], name.data(), name.size());

    // Security cell: the only one, so its list links point to itself.
    const size_t sk = bin + skCell;
    text::putLe32(hive, sk, static_cast<uint32_t>(-static_cast<int32_t>(skSize)));
    std::memcpy(&hive[sk + 4], "sk", 2);
    text::putLe32(hive, sk + 0x08, skCell);
    text::putLe32(hive, sk + 0x0C, skCell);
    text::putLe32(hive, sk + 0x10, 1); // referenced by the root key
    text::putLe32(hive, sk + 0x14, static_cast<uint32_t>(sd.size()));
    std::memcpy(&hive[sk + 0x18], sd.data(), sd.size());

    // The rest of the bin is one free cell (positive size).
    text::putLe32(hive, bin + freeCell, static_cast<uint32_t>(kBlock) - freeCell);
    return hive;
}

bool writeEmptyHive(const std::string& path, std::string& error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::string bytes = emptyHive();
    if (!out || !out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) ||
        !out.flush()) {
        error = path + ": cannot write the hive file (" + std::strerror(errno) + ")";
        return false;
    }
    return true;
}

namespace {

struct HiveCloser {
    void operator()(hive_h* hive) const { hivex_close(hive); }
};

// "PATH: what (cause)", the cause from errno when it is set.
std::string failure(const std::string& path, const std::string& what) {
    const int code = errno;
    return path + ": " + what + (code != 0 ? std::string(" (") + std::strerror(code) + ")" : "");
}

// Adds the values and subkeys of `key` to `node` (`keyPath` below the root, for messages).
bool addKey(hive_h* hive, hive_node_h node, const RegistryKey& key, const std::string& keyPath,
            const std::string& path, std::string& error) {
    for (const RegistryValue& v : key.values) {
        // hivex takes non-const pointers; it copies the data into the hive.
        std::string name = v.name;
        std::string data = v.textual ? text::utf8ToUtf16le(v.data) + std::string(2, '\0') : v.data;
        hive_set_value value;
        value.key = name.data();
        value.t = static_cast<hive_type>(v.type);
        value.len = data.size();
        value.value = data.data();
        errno = 0;
        if (hivex_node_set_value(hive, node, &value, 0) != 0) {
            error = failure(path, "cannot set value \"" + v.name + "\" of \"" + keyPath + "\"");
            return false;
        }
    }
    for (const RegistryKey* child : sortedChildren(key)) {
        const std::string childPath = keyPath.empty() ? child->name : keyPath + "\\" + child->name;
        errno = 0;
        const hive_node_h added = hivex_node_add_child(hive, node, child->name.c_str());
        if (added == 0) {
            error = failure(path, "cannot add key \"" + childPath + "\"");
            return false;
        }
        if (!addKey(hive, added, *child, childPath, path, error)) {
            return false;
        }
    }
    return true;
}

} // namespace

bool writeHive(const std::string& path, const RegistryTree& tree, std::string& error) {
    if (!writeEmptyHive(path, error)) {
        return false;
    }
    errno = 0;
    const std::unique_ptr<hive_h, HiveCloser> hive(hivex_open(path.c_str(), HIVEX_OPEN_WRITE));
    if (!hive) {
        error = failure(path, "hivex cannot open the empty hive");
        return false;
    }
    if (!addKey(hive.get(), hivex_root(hive.get()), tree.root(), "", path, error)) {
        return false;
    }
    errno = 0;
    if (hivex_commit(hive.get(), path.c_str(), 0) != 0) {
        error = failure(path, "cannot write the hive");
        return false;
    }
    return true;
}

} // namespace mkwin
