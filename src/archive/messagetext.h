#pragma once

#include <cstdint>

#include "archive/archive.h"
#include "archive/entries.h"
#include "text/codepage.h"

namespace archive {

/// The kind of a message by its stored subtype (and form: the second URL form is a URL).
MessageKind messageKind(uint16_t subtype, int form);

/// Fills `out` (all but place and time) from a message entry: direction, kind, and the text
/// as UTF-8 — a long message's UTF-8 copy when it has one, else its text, else its RTF reduced
/// to plain text; a URL's description and link apart; a system event's sender (nickname,
/// names and e-mail on one line) and message; a contact list as "nickname (UIN)" lines.
void composeMessage(const MessageEntry& entry, int form, const text::CodepageDecoder& decoder,
                    Message& out);

} // namespace archive
