#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace text {

/// The little-endian 16-bit number at `at` of `b`, which holds at least at + 2 bytes.
inline uint16_t le16(std::string_view b, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) |
                                 static_cast<unsigned char>(b[at + 1]) << 8);
}

/// The little-endian 32-bit number at `at` of `b`, which holds at least at + 4 bytes.
inline uint32_t le32(std::string_view b, size_t at) {
    return static_cast<uint32_t>(le16(b, at)) | static_cast<uint32_t>(le16(b, at + 2)) << 16;
}

/// Stores `v` little-endian at `at` of `b`, which holds at least at + 2 bytes.
inline void putLe16(std::string& b, size_t at, uint16_t v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>(v >> 8);
}

/// Stores `v` little-endian at `at` of `b`, which holds at least at + 4 bytes.
inline void putLe32(std::string& b, size_t at, uint32_t v) {
    putLe16(b, at, static_cast<uint16_t>(v & 0xFFFF));
    putLe16(b, at + 2, static_cast<uint16_t>(v >> 16));
}

} // namespace text
