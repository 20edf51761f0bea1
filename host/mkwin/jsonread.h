#pragma once

// Reading a description: each helper takes a JSON value and its path in the description
// ("icq.owners[1].uin") and throws DescriptionError, naming the path, what was expected and
// what was found, when the value does not fit. Only parseDescription() catches it.

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "localtree.h"

namespace mkwin::jsonread {

/// The one-line message of a wrong description.
struct DescriptionError {
    std::string message;
};

/// Throws "<path>: <what>" ("description" for the empty path).
[[noreturn]] void fail(const std::string& path, const std::string& what);
/// Throws "<path>: expected <what>, found <found as JSON>".
[[noreturn]] void expected(const std::string& path, const std::string& what,
                           const nlohmann::json& found);
/// A JSON value as messages show it: its JSON text, long ones shortened.
std::string shown(const nlohmann::json& value);

/// "path.key" ("key" at the top).
std::string member(const std::string& path, const std::string& key);
/// "path[index]".
std::string element(const std::string& path, size_t index);

/// Requires an object whose keys are all among `keys`.
void checkObject(const nlohmann::json& value, const std::string& path,
                 std::initializer_list<const char*> keys);
/// The member `key` of an object, or null when it is absent or null.
const nlohmann::json* find(const nlohmann::json& object, const char* key);

/// A text.
std::string text(const nlohmann::json& value, const std::string& path);
/// The text member `key`, or `fallback` when it is absent.
std::string textOr(const nlohmann::json& object, const char* key, const std::string& path,
                   const std::string& fallback);
/// A whole number that is not negative, however the JSON holds it; nothing otherwise.
std::optional<uint64_t> natural(const nlohmann::json& value);
/// A whole number from 0 to `max`.
uint64_t number(const nlohmann::json& value, const std::string& path, uint64_t max);
/// The number member `key` (0 to `max`), or `fallback` when it is absent.
uint64_t numberOr(const nlohmann::json& object, const char* key, const std::string& path,
                  uint64_t max, uint64_t fallback);
/// A REG_DWORD: 0 to 4294967295, or negative down to -2147483648 (stored as its two's
/// complement, as Windows shows signed numbers).
uint32_t dword(const nlohmann::json& value, const std::string& path);
/// true or false.
bool flag(const nlohmann::json& value, const std::string& path);
/// One of `words`.
std::string word(const nlohmann::json& value, const std::string& path,
                 std::initializer_list<const char*> words);
/// A single file or folder name (see isPlainName).
std::string plainName(const nlohmann::json& value, const std::string& path);
/// A Windows path on C: as components (see parseDrivePath).
RelativePath drivePath(const nlohmann::json& value, const std::string& path);
/// "01,ff,7e" (commas or blanks between the bytes optional) as bytes.
std::string hexBytes(const nlohmann::json& value, const std::string& path);

} // namespace mkwin::jsonread
