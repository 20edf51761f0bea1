#pragma once

#include <cstddef>
#include <cstring>

namespace initext {

/// Longest text a name or value field holds; the field has room for it and a zero.
constexpr std::size_t kTextMax = 79;
constexpr std::size_t kFieldSize = kTextMax + 1;

/// Clears `field` and stores at most 79 characters of `text`; a null text stores nothing.
inline void storeText(char (&field)[kFieldSize], const char* text) {
    std::memset(field, 0, sizeof field);
    if (text != nullptr) {
        std::memcpy(field, text, strnlen(text, kTextMax));
    }
}

/// Fills exactly `length` bytes of `buffer`: `text` cut to `length`, then zeros.
inline void copyOut(const char* text, char* buffer, int length) {
    if (buffer == nullptr || length <= 0) {
        return;
    }
    const std::size_t size = static_cast<std::size_t>(length);
    const std::size_t used = strnlen(text, size);
    std::memcpy(buffer, text, used);
    std::memset(buffer + used, 0, size - used);
}

} // namespace initext
