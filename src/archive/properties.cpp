#include "properties.h"

namespace archive {

namespace {

constexpr uint8_t kText = 0x6B;
constexpr uint8_t kSublist = 0x6D;
constexpr uint8_t kBlocks = 0x6E;
constexpr uint8_t kBlob = 0x6F;
// Blocks nest through sublists; real entries go one level deep.
constexpr int kMaxDepth = 8;

std::string pastTheEnd(const std::string& what, uint64_t size, const ByteReader& in) {
    return what + " length " + std::to_string(size) + " past the end of the entry (" +
           std::to_string(in.left()) + " bytes left)";
}

std::string quoted(std::string_view name) {
    std::string out = "\"";
    for (const char c : name) {
        out += static_cast<unsigned char>(c) >= 0x20 && c != 0x7F ? c : '?';
    }
    return out + "\"";
}

bool readBlockAt(ByteReader& in, const PropertyVisitor* visit, std::string& problem, int depth);

bool readValue(ByteReader& in, Property& p, std::string& problem, int depth) {
    const std::string where = "property " + quoted(p.name);
    const auto fixed = [&](size_t size) {
        std::string_view bytes;
        if (!in.bytes(size, bytes)) {
            problem = pastTheEnd(where + ": value", size, in);
            return false;
        }
        for (size_t i = 0; i < size; ++i) {
            p.number |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) << (8 * i);
        }
        return true;
    };
    switch (p.type) {
    case 0x64:
    case 0x65:
        return fixed(1);
    case 0x66:
    case 0x67:
        return fixed(2);
    case 0x68:
    case 0x69:
        return fixed(4);
    case kText: {
        const size_t start = in.pos();
        uint16_t length = 0;
        if (!in.u16(length)) {
            problem = where + ": text length past the end of the entry";
            return false;
        }
        if (in.left() < length) {
            problem = pastTheEnd(where + ": text", length, in);
            return false;
        }
        in.seek(start);
        return in.str16(p.text);
    }
    case kBlob: {
        uint32_t length = 0;
        std::string_view bytes;
        if (!in.u32(length) || !in.bytes(length, bytes)) {
            problem = pastTheEnd(where + ": blob", length, in);
            return false;
        }
        return true;
    }
    case kSublist: {
        uint32_t count = 0;
        uint8_t subtype = 0;
        if (!in.u32(count) || !in.u8(subtype)) {
            problem = where + ": sublist header past the end of the entry";
            return false;
        }
        for (uint32_t i = 0; i < count; ++i) {
            std::string_view text;
            if (subtype == kText && !in.str16(text)) {
                problem = where + ": text " + std::to_string(i + 1) + " of " +
                          std::to_string(count) + " past the end of the entry";
                return false;
            }
            if (subtype == kBlocks && !readBlockAt(in, nullptr, problem, depth + 1)) {
                problem = where + ": " + problem;
                return false;
            }
            if (subtype != kText && subtype != kBlocks) {
                problem = where + ": unknown sublist type 0x" + hexOffset(subtype).substr(2);
                return false;
            }
            if (subtype == kText && depth == 0) {
                p.texts.push_back(text);
            }
        }
        return true;
    }
    default:
        problem = where + ": unknown type 0x" + hexOffset(p.type).substr(2);
        return false;
    }
}

bool readBlockAt(ByteReader& in, const PropertyVisitor* visit, std::string& problem, int depth) {
    if (depth > kMaxDepth) {
        problem = "blocks nested more than " + std::to_string(kMaxDepth) + " deep";
        return false;
    }
    uint16_t separator = 0;
    uint32_t count = 0;
    if (!in.u16(separator) || !in.u32(count)) {
        problem = "block header past the end of the entry";
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        Property p;
        if (in.left() >= 2 && le16(in.data() + in.pos()) == 0) {
            problem = "property " + std::to_string(i + 1) + " of " + std::to_string(count) +
                      ": a name of length 0";
            return false;
        }
        if (!in.str16(p.name) || !in.u8(p.type)) {
            problem = "property " + std::to_string(i + 1) + " of " + std::to_string(count) +
                      ": name past the end of the entry";
            return false;
        }
        if (!readValue(in, p, problem, depth)) {
            return false;
        }
        if (visit != nullptr && depth == 0) {
            (*visit)(p);
        }
    }
    return true;
}

bool is(const Property& p, std::string_view name, uint8_t type) {
    return p.name == name && p.type == type;
}

bool startsWith(std::string_view text, std::string_view start) {
    return text.substr(0, start.size()) == start;
}

bool isDetail(std::string_view name) {
    return startsWith(name, "Home") || startsWith(name, "Work") || startsWith(name, "Birth") ||
           name == "Age" || name == "Gender" || name == "About";
}

// CHAR, SHORT and LONG are signed; BYTE, WORD and DWORD are not.
int64_t numberOf(const Property& p) {
    switch (p.type) {
    case 0x64:
        return static_cast<int8_t>(p.number);
    case 0x67:
        return static_cast<int16_t>(p.number);
    case 0x69:
        return static_cast<int32_t>(p.number);
    default:
        return p.number;
    }
}

} // namespace

std::string hexOffset(uint64_t offset) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    do {
        out.insert(out.begin(), digits[offset & 15]);
        offset >>= 4;
    } while (offset != 0);
    return "0x" + out;
}

bool readBlock(ByteReader& in, const PropertyVisitor& visit, std::string& problem) {
    return readBlockAt(in, &visit, problem, 0);
}

bool readBlockList(ByteReader& in, const PropertyVisitor& visit, std::string& problem) {
    uint32_t count = 0;
    if (!in.u32(count)) {
        problem = "block count past the end of the entry";
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (!readBlock(in, visit, problem)) {
            problem =
                "block " + std::to_string(i + 1) + " of " + std::to_string(count) + ": " + problem;
            return false;
        }
    }
    return true;
}

void Identity::take(const Property& p) {
    if (p.name == "UIN" && (p.type == 0x69 || p.type == 0x68)) {
        hasUin = true;
        uin = p.number;
    } else if (is(p, "NickName", kText)) {
        nickName = p.text;
    } else if (is(p, "MyDefinedHandle", kText)) {
        handle = p.text;
    } else if (is(p, "FirstName", kText)) {
        firstName = p.text;
    } else if (is(p, "LastName", kText)) {
        lastName = p.text;
    } else if (is(p, "PrimaryEmail", kText)) {
        primaryEmail = p.text;
    } else if (is(p, "SecondEmail", kText) || is(p, "OldEmail", kText)) {
        otherEmails.push_back(p.text);
    } else if (is(p, "MoreEmails", kSublist) || is(p, "AdditionalEmails", kSublist)) {
        otherEmails.insert(otherEmails.end(), p.texts.begin(), p.texts.end());
    } else if (isDetail(p.name) && (p.type == kText || (p.type >= 0x64 && p.type <= 0x69))) {
        const Detail detail{p.name, p.type == kText, p.text, numberOf(p)};
        if (detail.isText ? !detail.text.empty() : detail.number != 0) {
            details.push_back(detail);
        }
    }
}

} // namespace archive
