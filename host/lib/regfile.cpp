#include "regfile.h"

#include "casepath.h"
#include "fdio.h"
#include "text/codepage.h"
#include "text/hex.h"
#include "text/names.h"
#include "text/utf8.h"

namespace vqrt {

namespace {

constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kExpectedHeader =
    "expected \"REGEDIT4\" or \"Windows Registry Editor Version 5.00\"";
// Longer offending lines are shortened in messages.
constexpr size_t kSnippetBytes = 60;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

bool startsWithNoCase(std::string_view s, std::string_view lowerPrefix) {
    return text::foldName(s.substr(0, lowerPrefix.size())) == lowerPrefix;
}

// 1 to 8 hex digits and nothing else.
std::optional<uint32_t> parseHex32(std::string_view s) {
    if (s.empty() || s.size() > 8) {
        return std::nullopt;
    }
    uint32_t v = 0;
    for (char c : s) {
        const int d = text::hexDigit(c);
        if (d < 0) {
            return std::nullopt;
        }
        v = (v << 4) | static_cast<uint32_t>(d);
    }
    return v;
}

// UTF-16LE file content as UTF-8; NUL units, which no export holds, are dropped.
std::string utf16FileToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    size_t start = 0;
    size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        if (bytes[i] == '\0' && bytes[i + 1] == '\0') {
            out += text::utf16leToUtf8(bytes.substr(start, i - start));
            start = i + 2;
        }
    }
    out += text::utf16leToUtf8(bytes.substr(start));
    return out;
}

} // namespace

class RegFile::Parser {
public:
    Parser(RegFile& file, std::string_view text, const std::string& name,
           const std::string& codepage)
        : file_(file), text_(text), name_(name), decoder_(codepage) {}

    bool nextLine(std::string_view& line) {
        if (pos_ >= text_.size()) {
            return false;
        }
        size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) {
            end = text_.size();
        }
        line = text_.substr(pos_, end - pos_);
        pos_ = end + 1;
        ++lineNo_;
        return true;
    }

    // Texts of the file in UTF-8 (8-bit files are in the installation's code page).
    std::string decode(std::string_view raw) const { return decoder_.toUtf8(raw); }

    std::string snippet(std::string_view line) const {
        // Only the start of a line is shown: decode no more of it than that, and not a
        // character cut in two.
        std::string shown = decode(text::cutUtf8(trim(line), 4 * kSnippetBytes));
        if (shown.size() > kSnippetBytes) {
            shown = std::string(text::cutUtf8(shown, kSnippetBytes - 3)) + "...";
        }
        for (char& c : shown) {
            if (static_cast<unsigned char>(c) < 0x20) {
                c = '?';
            }
        }
        return shown;
    }

    void warn(size_t lineNo, std::string_view expected, std::string_view line) {
        file_.warnings_.push_back(name_ + ":" + std::to_string(lineNo) + ": expected " +
                                  std::string(expected) + ", found " + snippet(line));
    }

    void run() {
        std::string_view line;
        while (nextLine(line)) {
            const std::string_view t = trim(line);
            if (t.empty() || t.front() == ';') {
                continue;
            }
            if (t.front() == '[') {
                keyLine(t);
            } else if (t.front() == '"' || t.front() == '@') {
                valueLine(t);
            } else {
                warn(lineNo_, "\"name\"=value", t);
            }
        }
    }

private:
    void keyLine(std::string_view line) {
        const size_t lineNo = lineNo_;
        sawKey_ = true;
        currentKey_.reset();
        if (line.back() != ']') {
            warn(lineNo, "[HKEY_...\\key]", line);
            return;
        }
        std::string_view inner = line.substr(1, line.size() - 2);
        const bool remove = !inner.empty() && inner.front() == '-';
        if (remove) {
            inner.remove_prefix(1);
        }
        const std::vector<std::string> parts = text::splitKeyPath(decode(inner));
        const std::optional<RegRoot> root =
            parts.empty() ? std::nullopt : parseRegRoot(parts.front());
        if (!root) {
            warn(lineNo,
                 "a key under HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, "
                 "HKEY_USERS or HKEY_CURRENT_CONFIG",
                 line);
            return;
        }
        const std::vector<std::string> key(parts.begin() + 1, parts.end());
        const std::string mapped = mapKey(*root, key);
        if (!remove) {
            currentKey_ = mapped;
        } else if (key.empty()) {
            warn(lineNo, "a key below the root to delete", line);
        } else {
            // Values that follow a deletion belong to no key, as with regedit.
            file_.deleteKey(mapped);
        }
    }

    void valueLine(std::string_view line) {
        const size_t lineNo = lineNo_;
        std::string_view rest = line;
        std::string rawName;
        if (rest.front() == '@') {
            rest.remove_prefix(1);
        } else {
            std::optional<std::string> name = quoted(rest);
            if (!name) {
                warn(lineNo, "\"name\"=value", line);
                return;
            }
            rawName = std::move(*name);
        }
        rest = trim(rest);
        if (rest.empty() || rest.front() != '=') {
            warn(lineNo, "\"name\"=value", line);
            return;
        }
        rest = trim(rest.substr(1));

        std::optional<RegValue> value;
        bool ok = true;
        if (rest == "-") {
            value.reset();
        } else if (!rest.empty() && rest.front() == '"') {
            std::optional<std::string> text = quoted(rest);
            if (!text || !trim(rest).empty()) {
                warn(lineNo, "a string in double quotes", line);
                ok = false;
            } else {
                value = RegValue::makeText(kRegSz, decode(*text));
            }
        } else if (startsWithNoCase(rest, "dword:")) {
            const std::optional<uint32_t> n = parseHex32(trim(rest.substr(6)));
            if (!n) {
                warn(lineNo, "dword:xxxxxxxx", line);
                ok = false;
            } else {
                value = RegValue::makeNumber(kRegDword, static_cast<int32_t>(*n));
            }
        } else if (startsWithNoCase(rest, "hex")) {
            ok = hexValue(rest.substr(3), line, lineNo, value);
        } else {
            warn(lineNo, "\"string\", dword:, hex: or -", line);
            ok = false;
        }
        if (!ok) {
            return;
        }
        if (!currentKey_) {
            if (!sawKey_) {
                warn(lineNo, "[key] before the first value", line);
            }
            return;
        }
        file_.keys_[*currentKey_].values[text::foldName(decode(rawName))] = std::move(value);
    }

    // A double-quoted text at the start of `s`, with \" and \\ escapes; `s` is left after the
    // closing quote. Nothing when the quote is not closed.
    static std::optional<std::string> quoted(std::string_view& s) {
        std::string out;
        for (size_t i = 1; i < s.size(); ++i) {
            const char c = s[i];
            if (c == '"') {
                s.remove_prefix(i + 1);
                return out;
            }
            if (c == '\\' && i + 1 < s.size()) {
                const char next = s[++i];
                if (next != '\\' && next != '"') {
                    out += '\\';
                }
                out += next;
            } else {
                out += c;
            }
        }
        return std::nullopt;
    }

    // `rest` follows "hex": an optional "(type)", a colon and comma-separated bytes, which
    // continue on the next line after a trailing backslash.
    bool hexValue(std::string_view rest, std::string_view line, size_t lineNo,
                  std::optional<RegValue>& value) {
        constexpr std::string_view kExpected = "hex bytes such as hex:00,1f";
        uint32_t type = kRegBinary;
        bool ok = true;
        if (!rest.empty() && rest.front() == '(') {
            const size_t close = rest.find(')');
            const std::optional<uint32_t> t = close == std::string_view::npos
                                                  ? std::nullopt
                                                  : parseHex32(rest.substr(1, close - 1));
            if (t) {
                type = *t;
                rest.remove_prefix(close + 1);
            } else {
                ok = false;
            }
        }
        if (rest.empty() || rest.front() != ':') {
            ok = false;
        } else {
            rest.remove_prefix(1);
        }

        // Gather the text of all continuation lines first, so that none of them is taken
        // for a line of its own.
        std::string digits;
        std::string_view segment = trim(rest);
        bool tooLong = false;
        while (true) {
            const bool continues = !segment.empty() && segment.back() == '\\';
            if (continues) {
                segment.remove_suffix(1);
            }
            if (digits.size() + segment.size() > kMaxValueText) {
                tooLong = true;
            } else {
                digits.append(segment);
            }
            if (!continues) {
                break;
            }
            const size_t savedPos = pos_;
            const size_t savedLine = lineNo_;
            std::string_view next;
            if (!nextLine(next) || trim(next).empty() || text::hexDigit(trim(next).front()) < 0) {
                // The line after a trailing backslash is no hex data: the value is cut short.
                pos_ = savedPos;
                lineNo_ = savedLine;
                ok = false;
                break;
            }
            segment = trim(next);
        }
        if (tooLong) {
            warn(lineNo, "at most 16 MiB of value text", line);
            return false;
        }

        std::string bytes;
        if (ok) {
            ok = parseHexBytes(digits, bytes);
        }
        if (!ok) {
            warn(lineNo, kExpected, line);
            return false;
        }
        value = hexToValue(type, bytes);
        return true;
    }

    static bool parseHexBytes(std::string_view text, std::string& bytes) {
        size_t i = 0;
        while (i < text.size()) {
            while (i < text.size() && isBlank(text[i])) {
                ++i;
            }
            int v = 0;
            size_t count = 0;
            while (i < text.size() && text::hexDigit(text[i]) >= 0 && count < 3) {
                v = v * 16 + text::hexDigit(text[i]);
                ++i;
                ++count;
            }
            if (count == 0 || count > 2) {
                return false;
            }
            bytes += static_cast<char>(v);
            while (i < text.size() && isBlank(text[i])) {
                ++i;
            }
            if (i < text.size() && text[i] != ',') {
                return false;
            }
            ++i; // the comma; a trailing one ends the data
        }
        return true;
    }

    RegValue hexToValue(uint32_t type, std::string_view bytes) const {
        if (type == kRegSz || type == kRegExpandSz) {
            if (file_.version_ == 5) {
                if (bytes.size() % 2 == 1 && bytes.back() == '\0') {
                    bytes.remove_suffix(1);
                }
                return RegValue::makeText(type, text::utf16leToUtf8(bytes));
            }
            return RegValue::makeText(type, decode(bytes.substr(0, bytes.find('\0'))));
        }
        if ((type == kRegDword || type == kRegDwordBigEndian) && bytes.size() >= 4) {
            uint32_t n = 0;
            for (size_t i = 0; i < 4; ++i) {
                n = (n << 8) | static_cast<unsigned char>(bytes[type == kRegDword ? 3 - i : i]);
            }
            return RegValue::makeNumber(type, static_cast<int32_t>(n));
        }
        return RegValue::makeOther(type);
    }

    RegFile& file_;
    std::string_view text_;
    const std::string& name_;
    text::CodepageDecoder decoder_;
    size_t pos_ = 0;
    size_t lineNo_ = 0;
    bool sawKey_ = false;
    // Where values go; nothing after a deletion or a key that could not be read.
    std::optional<std::string> currentKey_;
};

std::unique_ptr<RegFile> RegFile::load(const std::string& path, const std::string& codepage,
                                       std::string& error) {
    std::string bytes;
    if (!readRegularFile(path, kMaxFileBytes, "registry export", bytes, error)) {
        return nullptr;
    }
    return parse(bytes, path, codepage, error);
}

std::unique_ptr<RegFile> RegFile::parse(std::string_view bytes, const std::string& name,
                                        const std::string& codepage, std::string& error) {
    std::string converted;
    std::string_view text = bytes;
    const bool bomLE = bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
    // regedit always writes the mark; text that looks like UTF-16 is taken as such anyway.
    const bool bareLE = bytes.size() >= 4 && bytes[0] != '\0' && bytes[1] == '\0' &&
                        bytes[2] != '\0' && bytes[3] == '\0';
    if (bomLE || bareLE) {
        converted = utf16FileToUtf8(bytes.substr(bomLE ? 2 : 0));
        text = converted;
    } else if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }

    auto file = std::make_unique<RegFile>(Token{});
    Parser parser(*file, text, name, codepage);
    std::string_view header;
    if (!parser.nextLine(header)) {
        error = name + ": not a registry export (" + std::string(kExpectedHeader) +
                ", found an empty file)";
        return nullptr;
    }
    const std::string first = text::foldName(trim(header).substr(0, kHeader5.size() + 1));
    if (first == text::foldName(kHeader4)) {
        file->version_ = 4;
    } else if (first == text::foldName(kHeader5)) {
        file->version_ = 5;
    } else {
        error = name + ":1: not a registry export (" + std::string(kExpectedHeader) + ", found " +
                parser.snippet(header) + ")";
        return nullptr;
    }
    parser.run();
    file->chooseUserBelowUsers();
    return file;
}

void RegFile::chooseUserBelowUsers() {
    const std::string current = mapKey(RegRoot::CurrentUser, {});
    const std::string users = mapKey(RegRoot::Users, {}) + '\\';
    std::vector<std::string> names;
    for (const auto& entry : keys_) {
        const std::string& key = entry.first;
        if (key == current || key.compare(0, current.size() + 1, current + '\\') == 0) {
            return;
        }
        if (key.compare(0, users.size(), users) == 0) {
            names.push_back(key.substr(users.size(), key.find('\\', users.size()) - users.size()));
        }
    }
    if (const std::optional<std::string> user = currentUserBelowUsers(names)) {
        userBelowUsers_ = {*user};
    }
}

std::string RegFile::mapKey(RegRoot root, const std::vector<std::string>& key) {
    std::string mapped = std::to_string(static_cast<int>(root));
    for (const std::string& part : key) {
        mapped += '\\';
        mapped += text::foldName(part);
    }
    return mapped;
}

void RegFile::deleteKey(const std::string& mapped) {
    // The key itself and everything below it ("key\..."; ']' follows '\' in byte order).
    keys_.erase(keys_.lower_bound(mapped + '\\'), keys_.lower_bound(mapped + ']'));
    KeyState& state = keys_[mapped];
    state.wiped = true;
    state.values.clear();
}

RegLookup RegFile::lookup(RegRoot root, const std::vector<std::string>& key,
                          std::string_view valueName) const {
    std::string mapped = mapKey(root, key);
    if (root == RegRoot::CurrentUser && !userBelowUsers_.empty()) {
        std::vector<std::string> below = userBelowUsers_;
        below.insert(below.end(), key.begin(), key.end());
        mapped = mapKey(RegRoot::Users, below);
    }
    const auto it = keys_.find(mapped);
    if (it != keys_.end()) {
        const auto value = it->second.values.find(text::foldName(valueName));
        if (value != it->second.values.end()) {
            return value->second ? RegLookup::found(*value->second) : RegLookup::deleted();
        }
    }
    // A deletion of the key or of a parent hides everything below that the file did not set.
    while (true) {
        const auto state = keys_.find(mapped);
        if (state != keys_.end() && state->second.wiped) {
            return RegLookup::deleted();
        }
        const size_t cut = mapped.rfind('\\');
        if (cut == std::string::npos) {
            return {};
        }
        mapped.resize(cut);
    }
}

} // namespace vqrt
