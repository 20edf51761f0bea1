#include "jsonread.h"

#include <algorithm>

#include "localtree.h"
#include "text/hex.h"
#include "text/utf8.h"

namespace mkwin::jsonread {

using nlohmann::json;

namespace {

std::string quotedList(std::initializer_list<const char*> words) {
    std::string list;
    for (const char* word : words) {
        list += std::string(list.empty() ? "" : ", ") + word;
    }
    return list;
}

} // namespace

// A JSON value as a message shows it: its JSON text, long ones shortened.
std::string shown(const json& value) {
    const std::string dumped = value.dump(-1, ' ', false, json::error_handler_t::replace);
    return dumped.size() > 60 ? std::string(text::cutUtf8(dumped, 56)) + "..." : dumped;
}

void fail(const std::string& path, const std::string& what) {
    throw DescriptionError{(path.empty() ? std::string("description") : path) + ": " + what};
}

std::string member(const std::string& path, const std::string& key) {
    return path.empty() ? key : path + "." + key;
}

std::string element(const std::string& path, size_t index) {
    return path + "[" + std::to_string(index) + "]";
}

void expected(const std::string& path, const std::string& what, const json& found) {
    fail(path, "expected " + what + ", found " + shown(found));
}

void checkObject(const json& value, const std::string& path,
                 std::initializer_list<const char*> keys) {
    if (!value.is_object()) {
        expected(path, "an object", value);
    }
    for (const auto& item : value.items()) {
        if (std::none_of(keys.begin(), keys.end(),
                         [&](const char* k) { return item.key() == k; })) {
            fail(member(path, item.key()),
                 "unknown key (expected one of " + quotedList(keys) + ")");
        }
    }
}

// The member `key` of an object, or null when it is absent or null.
const json* find(const json& object, const char* key) {
    const auto it = object.find(key);
    return it == object.end() || it->is_null() ? nullptr : &*it;
}

std::string text(const json& value, const std::string& path) {
    if (!value.is_string()) {
        expected(path, "a text", value);
    }
    return value.get<std::string>();
}

std::string textOr(const json& object, const char* key, const std::string& path,
                   const std::string& fallback) {
    const json* value = find(object, key);
    return value != nullptr ? text(*value, member(path, key)) : fallback;
}

// A whole number that is not negative; JSON read from text gives unsigned numbers, JSON built
// in code signed ones.
std::optional<uint64_t> natural(const json& value) {
    if (value.is_number_unsigned()) {
        return value.get<uint64_t>();
    }
    if (value.is_number_integer() && value.get<int64_t>() >= 0) {
        return static_cast<uint64_t>(value.get<int64_t>());
    }
    return std::nullopt;
}

uint64_t number(const json& value, const std::string& path, uint64_t max) {
    const std::optional<uint64_t> n = natural(value);
    if (!n || *n > max) {
        expected(path, "a whole number from 0 to " + std::to_string(max), value);
    }
    return *n;
}

uint64_t numberOr(const json& object, const char* key, const std::string& path, uint64_t max,
                  uint64_t fallback) {
    const json* value = find(object, key);
    return value != nullptr ? number(*value, member(path, key), max) : fallback;
}

// A REG_DWORD as a description gives it: 0 to 4294967295, or negative down to -2147483648
// (stored as its two's complement, as Windows shows signed numbers).
uint32_t dword(const json& value, const std::string& path) {
    if (const std::optional<uint64_t> n = natural(value); n && *n <= UINT32_MAX) {
        return static_cast<uint32_t>(*n);
    }
    if (value.is_number_integer() && value.get<int64_t>() < 0 &&
        value.get<int64_t>() >= INT32_MIN) {
        return static_cast<uint32_t>(static_cast<int32_t>(value.get<int64_t>()));
    }
    expected(path, "a whole number from -2147483648 to 4294967295", value);
}

bool flag(const json& value, const std::string& path) {
    if (!value.is_boolean()) {
        expected(path, "true or false", value);
    }
    return value.get<bool>();
}

std::string word(const json& value, const std::string& path,
                 std::initializer_list<const char*> words) {
    if (value.is_string() && std::any_of(words.begin(), words.end(), [&](const char* w) {
            return value.get<std::string>() == w;
        })) {
        return value.get<std::string>();
    }
    std::string list;
    for (const char* w : words) {
        list += std::string(list.empty() ? "" : ", ") + "\"" + w + "\"";
    }
    expected(path, "one of " + list, value);
}

std::string plainName(const json& value, const std::string& path) {
    if (!value.is_string() || !isPlainName(value.get<std::string>())) {
        expected(path, "a file or folder name (not empty, no \"/\" or \"\\\", not \"..\")", value);
    }
    return value.get<std::string>();
}

RelativePath drivePath(const json& value, const std::string& path) {
    const std::string windowsPath = text(value, path);
    std::string problem;
    std::optional<RelativePath> parsed = parseDrivePath(windowsPath, problem);
    if (!parsed) {
        fail(path, problem + ", found " + shown(value));
    }
    return *parsed;
}

// "01,ff,7e" (commas or blanks between the bytes optional) as bytes.
std::string hexBytes(const json& value, const std::string& path) {
    const std::string hex = text(value, path);
    std::string digits;
    for (const char c : hex) {
        if (c != ',' && c != ' ') {
            digits += c;
        }
    }
    std::string bytes;
    bool ok = digits.size() % 2 == 0;
    for (size_t i = 0; ok && i < digits.size(); i += 2) {
        const int high = text::hexDigit(digits[i]);
        const int low = text::hexDigit(digits[i + 1]);
        ok = high >= 0 && low >= 0;
        if (ok) {
            bytes += static_cast<char>((high << 4) | low);
        }
    }
    if (!ok) {
        expected(path, "hex bytes such as \"01,ff,7e\"", value);
    }
    return bytes;
}

} // namespace mkwin::jsonread
