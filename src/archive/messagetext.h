#pragma once

#include <cstdint>

#include "archive/archive.h"
#include "archive/entries.h"
#include "text/codepage.h"

namespace archive {

/// The kind of a message by its stored subtype (and form: the second URL form is a URL).
MessageKind messageKind(uint16_t subtype, int form);

/// Fills `out` from a message entry (entry `id` at `offset`, its stamp plus `timeOffset` as
/// the time): direction, kind, and the text as UTF-8 — a long message's UTF-8 copy when it has
/// one, else its text, else its RTF reduced to plain text; a URL's description and link apart;
/// a system event's sender (nickname, names and e-mail on one line) and message; a contact
/// list as "nickname (UIN)" lines.
void composeMessage(const MessageEntry& entry, int form, uint32_t id, uint64_t offset,
                    int64_t timeOffset, const text::CodepageDecoder& decoder, Message& out);

} // namespace archive
