#include "entries.h"

#include <cstring>

namespace archive {

namespace {

using format::Era;

constexpr size_t kHeaderSize = 0x1C;
constexpr size_t kUserAt = 0x1E;
constexpr size_t k99aWavAt = 0x54;
constexpr size_t k99aGap = 38;
constexpr size_t kFooterTail = 19;
constexpr uint32_t kWithCopiesFrom = 515;
const char* const kPastTheEnd = "past the end of the entry";

// A step that names what it read when it fails.
class Steps {
public:
    Steps(ByteReader& in, std::string& problem) : in_(in), problem_(problem) {}

    // "text at 0x2a: length 900 past the end of the entry (312 bytes left)"
    bool fail(const std::string& what, const std::string& detail) {
        problem_ = what + " at " + hexOffset(in_.pos()) + ": " + detail;
        return false;
    }
    bool skip(size_t n, const char* what) { return in_.skip(n) || fail(what, kPastTheEnd); }
    bool u16(uint16_t& v, const char* what) { return in_.u16(v) || fail(what, kPastTheEnd); }
    bool u32(uint32_t& v, const char* what) { return in_.u32(v) || fail(what, kPastTheEnd); }
    bool str16(std::string_view& v, const char* what) {
        if (in_.str16(v)) {
            return true;
        }
        if (in_.left() < 2) {
            return fail(what, kPastTheEnd);
        }
        return fail(what, "length " + std::to_string(le16(in_.data() + in_.pos())) +
                              " past the end of the entry (" + std::to_string(in_.left() - 2) +
                              " bytes left)");
    }
    bool blocks(const PropertyVisitor& visit) {
        const size_t at = in_.pos();
        if (readBlockList(in_, visit, problem_)) {
            return true;
        }
        problem_ = "properties from " + hexOffset(at) + ": " + problem_;
        return false;
    }
    bool block(const PropertyVisitor& visit) {
        const size_t at = in_.pos();
        if (readBlock(in_, visit, problem_)) {
            return true;
        }
        problem_ = "properties from " + hexOffset(at) + ": " + problem_;
        return false;
    }
    // A list of sound events: LONG n, then n times WORD, LONG, LONG and a path.
    bool wavList() {
        uint32_t count = 0;
        if (!u32(count, "sound list")) {
            return false;
        }
        for (uint32_t i = 0; i < count; ++i) {
            std::string_view path;
            if (!skip(10, "sound event") || !str16(path, "sound file path")) {
                return false;
            }
        }
        return true;
    }
    // 'USER', two LONGs and the separator, from 0x1E.
    bool userHeader(uint32_t& first, uint32_t& second) {
        in_.seek(kUserAt);
        std::string_view mark;
        if (!in_.bytes(4, mark)) {
            return fail("'USER' mark", kPastTheEnd);
        }
        if (mark != "USER") {
            in_.seek(kUserAt);
            return fail("'USER' mark", "not there");
        }
        uint16_t separator = 0;
        return u32(first, "status") && u32(second, "group") && u16(separator, "separator");
    }
    // 99a's identity: WAV list at 0x54, 38 bytes, one block, five texts and the UIN.
    bool identity99a(Identity& identity) {
        in_.seek(k99aWavAt);
        std::string_view display;
        const auto take = [&](const Property& p) { identity.take(p); };
        if (in_.pos() != k99aWavAt) {
            return fail("99a sound list", kPastTheEnd);
        }
        if (!wavList() || !skip(k99aGap, "99a gap") || !block(take) ||
            !str16(display, "display name") || !str16(identity.nickName, "nickname") ||
            !str16(identity.firstName, "first name") || !str16(identity.lastName, "last name") ||
            !str16(identity.primaryEmail, "e-mail") || !u32(identity.uin, "UIN")) {
            return false;
        }
        identity.handle = display;
        identity.hasUin = true;
        return true;
    }

private:
    ByteReader& in_;
    std::string& problem_;
};

// Groups kept as blocks of GroupID and GroupName (2000a and later).
bool readGroups(Steps& steps, std::vector<RawGroup>& groups) {
    uint32_t count = 0;
    if (!steps.u32(count, "group count")) {
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        RawGroup group;
        bool hasId = false;
        const bool ok = steps.block([&](const Property& p) {
            if (p.name == "GroupID" && p.type >= 0x64 && p.type <= 0x69) {
                group.id = p.number;
                hasId = true;
            } else if (p.name == "GroupName" && p.type == 0x6B) {
                group.name = p.text;
            }
        });
        if (!ok) {
            return false;
        }
        if (hasId) {
            groups.push_back(group);
        }
    }
    return true;
}

// 99b's groups: LONG ID, name, LONG -1, WORD open flag.
bool readOldGroups(Steps& steps, std::vector<RawGroup>& groups) {
    uint32_t count = 0;
    if (!steps.u32(count, "group count")) {
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        RawGroup group;
        if (!steps.u32(group.id, "group") || !steps.str16(group.name, "group name") ||
            !steps.skip(6, "group")) {
            return false;
        }
        groups.push_back(group);
    }
    return true;
}

// 99b's phone book between the owner's properties and its groups.
bool skipPhoneBook(Steps& steps) {
    uint32_t count = 0;
    if (!steps.skip(8, "phone book") || !steps.u32(count, "phone book count")) {
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        std::string_view text;
        for (int k = 0; k < 4; ++k) {
            if (!steps.str16(text, "phone book text")) {
                return false;
            }
        }
        if (!steps.skip(2, "phone book entry") || !steps.str16(text, "phone book text")) {
            return false;
        }
    }
    return steps.skip(6, "phone book");
}

} // namespace

bool readEntryHeader(const uint8_t* entry, size_t size, EntryHeader& header, std::string& problem) {
    if (size < kHeaderSize) {
        problem = "entry of " + std::to_string(size) + " bytes, shorter than its header (28)";
        return false;
    }
    header.filed = le32(entry + 4);
    header.id = le32(entry + format::kEntryIdAt);
    header.kind = format::kindOf(entry + format::kSignatureAt, header.id, header.form);
    header.build = size >= kHeaderSize + 2 ? le16(entry + format::kBuildAt) : 0;
    return true;
}

bool parseOwner(const uint8_t* entry, size_t size, uint16_t build, OwnerEntry& out,
                std::string& problem) {
    ByteReader in(entry, size);
    Steps steps(in, problem);
    uint32_t status = 0;
    uint32_t zero = 0;
    const auto take = [&](const Property& p) { out.identity.take(p); };
    const Era era = format::eraOf(build);
    if (!steps.userHeader(status, zero)) {
        return false;
    }
    if (era == Era::V99a) {
        if (!steps.identity99a(out.identity)) {
            return false;
        }
        out.groupProblem = "the groups of ICQ 99a's owner entry are not read";
        return true;
    }
    uint16_t separator = 0;
    uint32_t time = 0;
    const bool identity =
        era == Era::V2001
            ? steps.blocks(take)
            : steps.wavList() && steps.u16(separator, "separator") && steps.blocks(take);
    if (!identity) {
        return false;
    }
    std::string groupProblem;
    Steps groupSteps(in, groupProblem);
    const bool groups = era == Era::V99b
                            ? skipPhoneBook(groupSteps) && readOldGroups(groupSteps, out.groups)
                            : groupSteps.u16(separator, "separator") &&
                                  groupSteps.u32(time, "update time") &&
                                  readGroups(groupSteps, out.groups);
    if (!groups) {
        out.groupProblem = "groups: " + groupProblem;
    }
    return true;
}

bool parseContact(const uint8_t* entry, size_t size, uint16_t build, ContactEntry& out,
                  std::string& problem) {
    ByteReader in(entry, size);
    Steps steps(in, problem);
    const auto take = [&](const Property& p) { out.identity.take(p); };
    if (!steps.userHeader(out.status, out.group)) {
        return false;
    }
    uint16_t separator = 0;
    switch (format::eraOf(build)) {
    case Era::V99a:
        return steps.identity99a(out.identity);
    case Era::V2001:
        return steps.blocks(take);
    default:
        return steps.wavList() && steps.u16(separator, "separator") && steps.blocks(take);
    }
}

bool parseMessage(const uint8_t* entry, size_t size, int form, uint16_t build, MessageEntry& out,
                  std::string& problem) {
    ByteReader in(entry, size, format::kBuildAt + 2);
    Steps steps(in, problem);
    uint32_t receiverStatus = 0;
    uint32_t sent = 0;
    uint16_t separator = 0;
    if (!steps.u32(out.flags, "flags") || !steps.u16(out.subtype, "subtype") ||
        !steps.u32(out.uin, "UIN") || !steps.str16(out.text, "text") ||
        !steps.u32(receiverStatus, "footer") || !steps.u32(sent, "footer") ||
        !steps.u16(separator, "footer") || !steps.u32(out.time, "time") ||
        !steps.skip(kFooterTail, "footer")) {
        return false;
    }
    if (form == 1 && build >= 500) {
        // 2001b and later keep an RTF and a UTF-8 copy after the footer; 2001a may.
        const size_t at = in.pos();
        std::string copyProblem;
        Steps copies(in, copyProblem);
        std::string_view rtf;
        std::string_view utf8;
        if (copies.str16(rtf, "RTF text") && copies.str16(utf8, "UTF-8 text")) {
            out.rtf = rtf;
            out.utf8 = utf8;
        } else if (build >= kWithCopiesFrom) {
            out.copyProblem = copyProblem;
        }
        in.seek(at);
    }
    return true;
}

} // namespace archive
