#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace text {

/// True when iconv converts between UTF-8 and `codepage` (an iconv name such as "CP1252") both
/// ways.
bool isKnownCodepage(const std::string& codepage);

/// Texts from a Windows disk arrive in its ANSI code page, or already as UTF-8. Valid UTF-8 is
/// kept; anything else is decoded from `codepage`. Bytes that do not decode become U+FFFD, so
/// the answer is always valid UTF-8.
std::string toUtf8(std::string_view bytes, const std::string& codepage);

/// toUtf8 for many texts of one code page. Where every byte of the code page stands for one
/// character on its own (Windows-1252, -1251, ...), each byte from 0x80 up is decoded once,
/// when the decoder is made; texts of other code pages (the double-byte 932, 936, 949, 950)
/// go through iconv whole. An unknown code page decodes as Windows-1252. One thread at a time.
class CodepageDecoder {
public:
    /// Which vector instructions a byte-by-byte code page may use, where the processor has them.
    enum class Vectors {
        None,  ///< the byte-by-byte loop alone
        Runs,  ///< AVX2: copies the runs between bytes from 0x80 up, 32 bytes at a time
        Widest ///< AVX-512 VBMI2 before AVX2: decodes sixteen bytes at once, without a branch
    };
    /// `vectors` below Widest is for comparing the ways of decoding.
    explicit CodepageDecoder(const std::string& codepage, Vectors vectors = Vectors::Widest);
    ~CodepageDecoder();

    /// The same as toUtf8(bytes, codepage).
    std::string toUtf8(std::string_view bytes) const;
    /// `bytes` decoded from the code page even where they would read as UTF-8 (texts known to
    /// be in the code page, such as an ICQ database's); always valid UTF-8.
    std::string decode(std::string_view bytes) const;
    /// decode() into `out`, whose memory is reused: for many texts in a row.
    void decodeInto(std::string_view bytes, std::string& out) const;
    /// False when iconv does not know the code page (texts then decode as Windows-1252).
    bool known() const { return known_; }
    /// True when texts are decoded byte by byte from the table.
    bool byteByByte() const { return !converter_; }

private:
    struct Converter;
    void decodeByTable(std::string_view bytes, std::string& out) const;
    /// The UTF-8 of each byte (its first length_ bytes), for byte-by-byte code pages.
    std::array<std::array<char, 4>, 256> utf8_{};
    std::array<uint8_t, 256> length_{};
    size_t maxLength_ = 1;
    /// The first, second and third UTF-8 byte of each byte from 0x80 up (0 past its length),
    /// for the vector decoder; empty when the processor or the code page does not allow it.
    std::vector<uint8_t> planes_;
    /// True when the AVX2 loop copies the runs between bytes from 0x80 up.
    bool runs_ = false;
    /// The open conversion, for all other code pages.
    std::unique_ptr<Converter> converter_;
    bool known_ = true;
    /// Where the table writes before the text is copied out; it only grows, so filling it
    /// with zeros is rare.
    mutable std::vector<char> scratch_;
};

/// The bytes of the UTF-8 `text` in `codepage`. Nothing when the text is not valid UTF-8 or
/// holds a character the code page lacks; `problem` then says so in a phrase
/// ("U+00E4 \"ä\" cannot be written in CP1251").
std::optional<std::string> fromUtf8(std::string_view text, const std::string& codepage,
                                    std::string& problem);

} // namespace text
