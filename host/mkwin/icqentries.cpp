#include "icqentries.h"

#include <algorithm>

namespace mkwin {

namespace {

constexpr size_t kSignatureSize = 16;

// The signatures of ICQ's own entry kinds share their last 15 bytes.
#define ICQ_SIGNATURE(first) first "\x23\xA3\xDB\xDF\xB8\xD1\x11\x8A\x65\x00\x60\x08\x71\xA3\x91"

constexpr std::string_view kUser = "USER"; // the LONG 0x55534552 read as bytes
constexpr uint32_t kOwnerStatus = 6;
// The last 19 bytes of every message footer.
constexpr std::string_view kFooterTail{"\0\0\0\0\0\0\0\0\0\0\0\0\0\xFF\xFF\xFF\xFF\0\0", 19};

void appendLe(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

// 'USER', the status and the group, and the separator again: 0x1C to 0x2C.
void appendUserHeader(std::string& out, uint16_t build, uint32_t status, uint32_t group) {
    appendLe16(out, build);
    out += kUser;
    appendLe32(out, status);
    appendLe32(out, group);
    appendLe16(out, build);
}

// ICQ's own sound events, as the owner entry lists them.
void appendWavList(std::string& out, uint16_t build, bool withSounds) {
    const char* const paths[] = {"C:\\Program Files\\ICQ\\Sounds\\Message.wav",
                                 "C:\\Program Files\\ICQ\\Sounds\\URL.wav"};
    appendLe32(out, withSounds ? 2 : 0);
    for (uint32_t i = 0; withSounds && i < 2; ++i) {
        appendLe16(out, build);
        appendLe32(out, i + 1);
        appendLe32(out, 1);
        appendStr16(out, paths[i]);
    }
}

void appendIdentity(std::string& out, const IcqIdentity& identity) {
    for (const std::string* text : {&identity.displayName, &identity.nickName, &identity.firstName,
                                    &identity.lastName, &identity.email}) {
        appendStr16(out, *text);
    }
    appendLe32(out, identity.uin);
}

// 99a keeps a WAV list at 0x54 and 38 bytes before its single property block.
void append99aStart(std::string& out, std::vector<IcqPropertyBlock>& blocks, uint16_t build) {
    out.append(0x54 - 0x2C, '\0');
    appendWavList(out, build, false);
    out.append(38, '\0');
    IcqPropertyBlock empty;
    (blocks.empty() ? empty : blocks.front()).appendTo(out, build);
}

void appendGroups(std::string& out, uint16_t build, const std::vector<IcqGroup>& groups) {
    appendLe32(out, static_cast<uint32_t>(groups.size()));
    for (const IcqGroup& group : groups) {
        IcqPropertyBlock block;
        block.dword("GroupID", group.id);
        block.text("GroupName", group.name);
        block.byte("FirstState", 'e', 1);
        block.appendTo(out, build);
    }
}

// 99b's groups: LONG ID, the name, LONG -1 and a WORD open flag.
void appendOldGroups(std::string& out, const std::vector<IcqGroup>& groups) {
    appendLe32(out, static_cast<uint32_t>(groups.size()));
    for (const IcqGroup& group : groups) {
        appendLe32(out, group.id);
        appendStr16(out, group.name);
        appendLe32(out, 0xFFFFFFFFu);
        appendLe16(out, 1);
    }
}

constexpr uint32_t kUpdateTime = 1041379200; // 2003-01-01

} // namespace

const std::string_view kIcqMessageSignature{ICQ_SIGNATURE("\xE0"), kSignatureSize};
const std::string_view kIcqOwnerSignature{ICQ_SIGNATURE("\xE4"), kSignatureSize};
const std::string_view kIcqContactSignature{ICQ_SIGNATURE("\xE5"), kSignatureSize};
const std::string_view kIcqLabelSignature{ICQ_SIGNATURE("\xE7"), kSignatureSize};
const std::string_view kIcqSoundSignature{ICQ_SIGNATURE("\xE9"), kSignatureSize};
const std::string_view kIcqNoteSignature{ICQ_SIGNATURE("\xEE"), kSignatureSize};
const std::string_view kIcqFolderSignature{ICQ_SIGNATURE("\xEF"), kSignatureSize};
const std::string_view kIcqServerListSignature{ICQ_SIGNATURE("\xF1"), kSignatureSize};
const std::string_view kIcqLongMessageSignature{
    "\x50\x3B\xC1\x5C\x5C\x95\xD3\x11\x8D\xD7\x00\x10\x4B\x06\x46\x2E", kSignatureSize};
const std::string_view kIcqUrlSignature{
    "\xA0\xC0\x0C\x2F\x5C\x95\xD3\x11\x8D\xD7\x00\x10\x4B\x06\x46\x2E", kSignatureSize};

IcqEra icqEra(uint16_t build) {
    if (build < 200) {
        return IcqEra::Icq98;
    }
    if (build < 300) {
        return IcqEra::V99a;
    }
    if (build < 400) {
        return IcqEra::V99b;
    }
    if (build < 500) {
        return IcqEra::V2000;
    }
    return build < 533 ? IcqEra::V2001 : IcqEra::V2002;
}

bool icqIdentityEvent(uint16_t subtype) {
    return (subtype >= kIcqSubtypeAuthRequest && subtype <= kIcqSubtypeSystemRequest) ||
           subtype == kIcqSubtypeAdded;
}

void IcqPropertyBlock::text(std::string_view name, std::string_view value) {
    std::string bytes;
    appendTextProperty(bytes, name, value);
    properties_.emplace_back(std::string(name), std::move(bytes));
}

void IcqPropertyBlock::integer(std::string_view name, uint32_t value) {
    std::string bytes;
    appendIntProperty(bytes, name, value);
    properties_.emplace_back(std::string(name), std::move(bytes));
}

void IcqPropertyBlock::byte(std::string_view name, char type, uint8_t value) {
    std::string bytes;
    appendByteProperty(bytes, name, type, value);
    properties_.emplace_back(std::string(name), std::move(bytes));
}

void IcqPropertyBlock::word(std::string_view name, char type, uint16_t value) {
    std::string bytes;
    appendWordProperty(bytes, name, type, value);
    properties_.emplace_back(std::string(name), std::move(bytes));
}

void IcqPropertyBlock::dword(std::string_view name, uint32_t value) {
    std::string bytes;
    appendDwordProperty(bytes, name, value);
    properties_.emplace_back(std::string(name), std::move(bytes));
}

void IcqPropertyBlock::blob(std::string_view name, std::string_view value) {
    std::string bytes;
    appendBlobProperty(bytes, name, value);
    properties_.emplace_back(std::string(name), std::move(bytes));
}

void IcqPropertyBlock::texts(std::string_view name, const std::vector<std::string>& values) {
    std::string bytes;
    appendPropertyName(bytes, name, 'm');
    appendLe32(bytes, static_cast<uint32_t>(values.size()));
    bytes.push_back('k');
    for (const std::string& value : values) {
        appendStr16(bytes, value);
    }
    properties_.emplace_back(std::string(name), std::move(bytes));
}

void IcqPropertyBlock::blocks(std::string_view name, uint32_t count, std::string_view encoded) {
    std::string bytes;
    appendPropertyName(bytes, name, 'm');
    appendLe32(bytes, count);
    bytes.push_back('n');
    bytes += encoded;
    properties_.emplace_back(std::string(name), std::move(bytes));
}

void IcqPropertyBlock::appendTo(std::string& out, uint16_t separator) {
    std::stable_sort(properties_.begin(), properties_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    appendLe16(out, separator);
    appendLe32(out, static_cast<uint32_t>(properties_.size()));
    for (const auto& property : properties_) {
        out += property.second;
    }
}

void appendBlockList(std::string& out, std::vector<IcqPropertyBlock>& blocks, uint16_t separator) {
    appendLe32(out, static_cast<uint32_t>(blocks.size()));
    for (IcqPropertyBlock& block : blocks) {
        block.appendTo(out, separator);
    }
}

std::string icqOwnerBody(uint16_t build, std::vector<IcqPropertyBlock>& blocks,
                         const IcqIdentity& identity, const std::vector<IcqGroup>& groups) {
    std::string out;
    appendUserHeader(out, build, kOwnerStatus, 0);
    switch (icqEra(build)) {
    case IcqEra::Icq98:
    case IcqEra::V99a:
        append99aStart(out, blocks, build);
        appendIdentity(out, identity);
        // The password and mail settings that follow are left empty.
        out.append(64, '\0');
        break;
    case IcqEra::V99b:
        appendWavList(out, build, true);
        appendLe16(out, build);
        appendBlockList(out, blocks, build);
        out.append(8, '\0');
        appendLe32(out, 0); // no phone book entries
        out.append(6, '\0');
        appendOldGroups(out, groups);
        break;
    case IcqEra::V2001:
        appendBlockList(out, blocks, build);
        appendLe16(out, build);
        appendLe32(out, kUpdateTime);
        appendGroups(out, build, groups);
        break;
    case IcqEra::V2000:
    case IcqEra::V2002:
        appendWavList(out, build, true);
        appendLe16(out, build);
        appendBlockList(out, blocks, build);
        appendLe16(out, build);
        appendLe32(out, kUpdateTime);
        appendGroups(out, build, groups);
        break;
    }
    return out;
}

std::string icqContactBody(uint16_t build, uint32_t status, uint32_t group,
                           std::vector<IcqPropertyBlock>& blocks, const IcqIdentity& identity) {
    std::string out;
    appendUserHeader(out, build, status, group);
    const IcqEra era = icqEra(build);
    if (era == IcqEra::V99a || era == IcqEra::Icq98) {
        append99aStart(out, blocks, build);
        appendIdentity(out, identity);
        return out;
    }
    if (era != IcqEra::V2001) {
        appendWavList(out, build, false);
        appendLe16(out, build);
    }
    appendBlockList(out, blocks, build);
    if (era == IcqEra::V99b) {
        out.append(12, '\0');
    }
    appendLe16(out, build);
    appendLe32(out, kUpdateTime);
    return out;
}

uint32_t icqMessageFlags(const IcqMessageFields& message) {
    const uint32_t flags = message.sent ? 4 : icqIdentityEvent(message.subtype) ? 1 : 5;
    return flags | (message.deleted ? 2 : 0);
}

std::string icqMessageBody(uint16_t build, const IcqMessageFields& message) {
    std::string out;
    appendLe16(out, build);
    appendLe32(out, icqMessageFlags(message));
    appendLe16(out, message.subtype);
    appendLe32(out, message.uin);
    appendStr16(out, message.text);
    appendLe32(out, 0); // the receiver was online
    appendLe32(out, message.sent ? 1 : 0);
    appendLe16(out, build);
    appendLe32(out, message.time);
    out += kFooterTail;
    if (message.longForm) {
        if (build >= 515) {
            appendStr16(out, message.rtf);
            appendStr16(out, message.utf8);
            appendLe32(out, 0);
            appendLe32(out, 0);
        } else {
            appendLe32(out, 0x00000000);
            appendLe32(out, 0x00FFFFFF);
        }
    }
    return out;
}

void appendLe16(std::string& out, uint16_t value) {
    appendLe(out, value, 2);
}

void appendLe32(std::string& out, uint32_t value) {
    appendLe(out, value, 4);
}

void appendStr16(std::string& out, std::string_view text) {
    appendLe(out, text.size() + 1, 2);
    out += text;
    out.push_back('\0');
}

void appendPropertyName(std::string& out, std::string_view name, char type) {
    appendStr16(out, name);
    out.push_back(type);
}

void appendTextProperty(std::string& out, std::string_view name, std::string_view text) {
    appendTextPropertyWithLength(out, name, static_cast<uint16_t>(text.size() + 1), text);
}

void appendTextPropertyWithLength(std::string& out, std::string_view name, uint16_t declaredLength,
                                  std::string_view text) {
    appendPropertyName(out, name, 'k');
    appendLe(out, declaredLength, 2);
    out += text;
    out.push_back('\0');
}

void appendIntProperty(std::string& out, std::string_view name, uint32_t value) {
    appendPropertyName(out, name, 'i');
    appendLe(out, value, 4);
}

void appendByteProperty(std::string& out, std::string_view name, char type, uint8_t value) {
    appendPropertyName(out, name, type);
    out.push_back(static_cast<char>(value));
}

void appendWordProperty(std::string& out, std::string_view name, char type, uint16_t value) {
    appendPropertyName(out, name, type);
    appendLe(out, value, 2);
}

void appendDwordProperty(std::string& out, std::string_view name, uint32_t value) {
    appendPropertyName(out, name, 'h');
    appendLe(out, value, 4);
}

void appendBlobProperty(std::string& out, std::string_view name, std::string_view bytes) {
    appendPropertyName(out, name, 'o');
    appendLe(out, bytes.size(), 4);
    out += bytes;
}

void appendListProperty(std::string& out, std::string_view name, std::string_view properties) {
    appendPropertyName(out, name, 'm');
    appendLe(out, properties.size(), 4);
    out += properties;
}

void appendRecord(std::string& out, uint32_t filing, uint32_t entry, std::string_view signature,
                  std::string_view body) {
    appendLe(out, 4 + 4 + kSignatureSize + body.size(), 4);
    appendLe(out, filing, 4);
    appendLe(out, entry, 4);
    const std::string_view cut = signature.substr(0, kSignatureSize);
    out += cut;
    out.append(kSignatureSize - cut.size(), '\0');
    out += body;
}

} // namespace mkwin
