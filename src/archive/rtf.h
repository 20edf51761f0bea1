#pragma once

#include <string>
#include <string_view>

#include "text/codepage.h"

namespace archive {

/// The plain text of an RTF document as UTF-8: paragraphs and line breaks become CRLF, tables
/// of fonts, colours and styles and other hidden groups are left out, \'hh bytes are decoded
/// with `decoder`, \uN characters kept; trailing line ends are dropped.
std::string rtfToText(std::string_view rtf, const text::CodepageDecoder& decoder);

} // namespace archive
