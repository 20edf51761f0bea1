#pragma once

// Little-endian reading inside one entry: every read is checked against what is left, and a
// failed read moves nothing.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace archive {

inline uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

/// "0x1a2b3c", as places are named in messages.
std::string hexOffset(uint64_t offset);

/// A cursor over a byte range.
class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size, size_t pos = 0)
        : data_(data), size_(size), pos_(pos <= size ? pos : size) {}

    size_t pos() const { return pos_; }
    size_t left() const { return size_ - pos_; }
    const uint8_t* data() const { return data_; }

    bool u8(uint8_t& out) {
        if (left() < 1) {
            return false;
        }
        out = data_[pos_++];
        return true;
    }
    bool u16(uint16_t& out) {
        if (left() < 2) {
            return false;
        }
        out = le16(data_ + pos_);
        pos_ += 2;
        return true;
    }
    bool u32(uint32_t& out) {
        if (left() < 4) {
            return false;
        }
        out = le32(data_ + pos_);
        pos_ += 4;
        return true;
    }
    /// Moves to `pos` (at most the end).
    void seek(size_t pos) { pos_ = pos <= size_ ? pos : size_; }
    bool skip(size_t n) {
        if (left() < n) {
            return false;
        }
        pos_ += n;
        return true;
    }
    bool bytes(size_t n, std::string_view& out) {
        if (left() < n) {
            return false;
        }
        out = std::string_view(reinterpret_cast<const char*>(data_ + pos_), n);
        pos_ += n;
        return true;
    }
    /// A WORD length counting the NUL, then the text; `out` is the text without its NUL. A
    /// length of 0 gives an empty text.
    bool str16(std::string_view& out) {
        const size_t start = pos_;
        uint16_t length = 0;
        if (!u16(length) || !bytes(length, out)) {
            pos_ = start;
            return false;
        }
        if (!out.empty() && out.back() == '\0') {
            out.remove_suffix(1);
        }
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_;
};

} // namespace archive
