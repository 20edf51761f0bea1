#include "text/names.h"

#include "text/utf8.h"

namespace text {

namespace {

// The lower-case partner of a capital letter; other code points are their own. Every pair is
// of the same UTF-8 length.
uint32_t foldCodePoint(uint32_t cp) {
    if (cp < 0x80) {
        return (cp >= 'A' && cp <= 'Z') ? cp + 32 : cp;
    }
    if ((cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) || (cp >= 0x391 && cp <= 0x3AB && cp != 0x3A2) ||
        (cp >= 0x410 && cp <= 0x42F)) {
        return cp + 32;
    }
    if ((cp >= 0x100 && cp <= 0x12F) || (cp >= 0x132 && cp <= 0x137) ||
        (cp >= 0x14A && cp <= 0x177)) {
        return cp | 1;
    }
    if ((cp >= 0x139 && cp <= 0x148) || (cp >= 0x179 && cp <= 0x17E)) {
        return (cp & 1) ? cp + 1 : cp;
    }
    if (cp >= 0x400 && cp <= 0x40F) {
        return cp + 80;
    }
    switch (cp) {
    case 0x178:
        return 0xFF;
    case 0x386:
        return 0x3AC;
    case 0x388:
    case 0x389:
    case 0x38A:
        return cp + 37;
    case 0x38C:
        return 0x3CC;
    case 0x38E:
    case 0x38F:
        return cp + 63;
    default:
        return cp;
    }
}

// The non-empty components of `path` between any of `separators`; "." too is dropped when
// `dropDot` is set.
std::vector<std::string> split(std::string_view path, std::string_view separators, bool dropDot) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of(separators, start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        const std::string_view part = path.substr(start, end - start);
        if (!part.empty() && !(dropDot && part == ".")) {
            parts.emplace_back(part);
        }
        start = end + 1;
    }
    return parts;
}

} // namespace

std::string foldName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (size_t i = 0; i < name.size();) {
        const Utf8Char c = decodeUtf8(name, i);
        // Only letters below U+0800 fold; everything else is copied as it is.
        if (c.valid && c.length <= 2) {
            appendUtf8(out, foldCodePoint(c.codePoint));
        } else {
            out.append(name.substr(i, c.length));
        }
        i += c.length;
    }
    return out;
}

std::vector<std::string> splitKeyPath(std::string_view path) {
    return split(path, "\\", false);
}

std::vector<std::string> splitFilePath(std::string_view path) {
    return split(path, "\\/", true);
}

} // namespace text
