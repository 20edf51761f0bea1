#include "format.h"

#include <cstring>

namespace archive::format {

namespace {

// ICQ's own kinds share the last 15 bytes of their signature; the first tells them apart.
constexpr uint8_t kFamilyTail[15] = {0x23, 0xA3, 0xDB, 0xDF, 0xB8, 0xD1, 0x11, 0x8A,
                                     0x65, 0x00, 0x60, 0x08, 0x71, 0xA3, 0x91};
constexpr uint8_t kLongMessage[16] = {0x50, 0x3B, 0xC1, 0x5C, 0x5C, 0x95, 0xD3, 0x11,
                                      0x8D, 0xD7, 0x00, 0x10, 0x4B, 0x06, 0x46, 0x2E};
constexpr uint8_t kSecondUrl[16] = {0xA0, 0xC0, 0x0C, 0x2F, 0x5C, 0x95, 0xD3, 0x11,
                                    0x8D, 0xD7, 0x00, 0x10, 0x4B, 0x06, 0x46, 0x2E};
constexpr uint8_t kZero[16] = {};

} // namespace

Kind kindOf(const uint8_t* signature, uint32_t id, int& form) {
    form = 0;
    if (std::memcmp(signature, kLongMessage, 16) == 0) {
        form = 1;
        return Kind::Message;
    }
    if (std::memcmp(signature, kSecondUrl, 16) == 0) {
        form = 2;
        return Kind::Message;
    }
    if (id <= 15 && std::memcmp(signature, kZero, 16) == 0) {
        return Kind::FilingIndex;
    }
    if (std::memcmp(signature + 1, kFamilyTail, 15) != 0) {
        return Kind::Unknown;
    }
    switch (signature[0]) {
    case 0xE0:
        return Kind::Message;
    case 0xE1:
        return Kind::ChatRequest;
    case 0xE2:
        return Kind::FileRequest;
    case 0xE3:
        return Kind::External;
    case 0xE4:
        return Kind::Owner;
    case 0xE5:
        return Kind::Contact;
    case 0xE6:
        return Kind::Reminder;
    case 0xE7:
        return Kind::Label;
    case 0xE9:
        return Kind::SoundScheme;
    case 0xEC:
        return Kind::Voice;
    case 0xEE:
        return Kind::Note;
    case 0xEF:
        return Kind::EventFolder;
    case 0xF1:
        return Kind::ServerList;
    default:
        return Kind::Unknown;
    }
}

const char* kindName(Kind kind) {
    switch (kind) {
    case Kind::FilingIndex:
        return "filing index";
    case Kind::Message:
        return "message";
    case Kind::ChatRequest:
        return "chat request";
    case Kind::FileRequest:
        return "file request";
    case Kind::External:
        return "external event";
    case Kind::Owner:
        return "owner";
    case Kind::Contact:
        return "contact";
    case Kind::Reminder:
        return "reminder";
    case Kind::Label:
        return "label";
    case Kind::SoundScheme:
        return "sound scheme";
    case Kind::Voice:
        return "voice message";
    case Kind::Note:
        return "note";
    case Kind::EventFolder:
        return "event folder";
    case Kind::ServerList:
        return "server list";
    case Kind::Unknown:
        break;
    }
    return "unknown";
}

Era eraOf(uint16_t build) {
    if (build < 200) {
        return Era::Icq98;
    }
    if (build < 300) {
        return Era::V99a;
    }
    if (build < 400) {
        return Era::V99b;
    }
    if (build < 500) {
        return Era::V2000;
    }
    return build < 533 ? Era::V2001 : Era::V2002;
}

std::string versionOfBuild(uint16_t build) {
    if (build < 200) {
        return "98";
    }
    if (build < 300) {
        return "99a";
    }
    if (build < 400) {
        return "99b";
    }
    if (build < 455) {
        return "2000a";
    }
    if (build < 500) {
        return "2000b";
    }
    if (build < 515) {
        return "2001a";
    }
    if (build < 533) {
        return "2001b";
    }
    return build < 545 ? "2002a" : "2003a";
}

std::string versionOfIndex(uint32_t version) {
    switch (version) {
    case 10:
        return "99a";
    case 14:
        return "99b";
    case 17:
        return "2000a";
    case 18:
        return "2000b";
    case 19:
        return "2001a or later";
    case 20:
        return "2003b";
    default:
        return std::string();
    }
}

namespace {

// The highest build that wrote at least one in a hundred entries, so that a few damaged
// entries do not name the version.
uint16_t latestBuild(const std::map<uint16_t, uint64_t>& builds) {
    uint64_t total = 0;
    for (const auto& [build, count] : builds) {
        total += count;
    }
    for (auto it = builds.rbegin(); it != builds.rend(); ++it) {
        if (it->second * 100 >= total) {
            return it->first;
        }
    }
    return 0;
}

} // namespace

std::string versionOfDatabase(uint32_t indexVersion, const std::map<uint16_t, uint64_t>& builds) {
    // Index version 19 stands for 2001a to 2003a: the entries tell them apart.
    const std::string named = versionOfIndex(indexVersion);
    const uint16_t latest = latestBuild(builds);
    if (!named.empty() && indexVersion != 19) {
        return named;
    }
    if (latest >= 200) {
        return versionOfBuild(latest);
    }
    return named.empty() ? "unknown" : named;
}

} // namespace archive::format
