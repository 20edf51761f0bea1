#pragma once

// Texts of the database are in the writing machine's ANSI code page; everything the archive
// delivers is UTF-8. All decoding goes through this one class.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace archive {

/// Decodes texts of one code page (an iconv name such as "CP1252") to UTF-8.
class CodepageDecoder {
public:
    explicit CodepageDecoder(const std::string& codepage);
    ~CodepageDecoder();
    CodepageDecoder(const CodepageDecoder&) = delete;
    CodepageDecoder& operator=(const CodepageDecoder&) = delete;

    /// False when iconv does not know the code page.
    bool ok() const { return handle_ != nullptr; }
    /// The text as UTF-8; a byte sequence the code page does not define becomes U+FFFD.
    std::string toUtf8(std::string_view bytes) const;

private:
    std::string convert(std::string_view bytes) const;
    void buildTable();

    void* handle_ = nullptr;
    /// A single-byte code page whose ASCII reads as itself is decoded through a table of its
    /// upper half, built with iconv.
    bool table_ = false;
    std::array<std::array<char, 4>, 128> upper_{};
    std::array<uint8_t, 128> upperLength_{};
};

/// True when `text` is well-formed UTF-8.
bool isUtf8(std::string_view text);

} // namespace archive
