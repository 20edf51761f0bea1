#pragma once

// The entries of an ICQ database (<UIN>.dat), byte for byte as ICQ 99a to 2003a write them.
//
// - An entry is a LONG length of the bytes after it, a LONG "filed in", a LONG entry ID and a
//   16-byte type signature, then its body. All integers are little-endian.
// - The body of owner, contact and message entries starts (at 0x1C) with the WORD build number
//   of the client that wrote it (the "separator"); the same word recurs inside the entry. The
//   layout after it depends on that build: 99a (200-299), 99b (300-399), 2000a/b (400-499),
//   2001a/b (500-532) and 2002a/2003a (533 and later).
// - Properties: a WORD name length counting the NUL, the name, a NUL, a type byte and the
//   value: 'd' CHAR, 'e' BYTE, 'f' WORD, 'g' SHORT, 'h' DWORD, 'i' LONG, 'k' text (WORD length
//   counting the NUL, text, NUL), 'm' sublist (LONG count, a subtype byte, then that many
//   texts or blocks) and 'o' blob (DWORD length, bytes). A block is a WORD separator, a LONG
//   property count and the properties.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mkwin {

/// Signatures of the entry kinds this writer knows, 16 bytes each.
extern const std::string_view kIcqMessageSignature; ///< E0: messages and system events
extern const std::string_view kIcqOwnerSignature;   ///< E4: My Details
extern const std::string_view kIcqContactSignature; ///< E5
extern const std::string_view kIcqLongMessageSignature;
extern const std::string_view kIcqUrlSignature;        ///< the second form of URL entries
extern const std::string_view kIcqLabelSignature;      ///< E7
extern const std::string_view kIcqSoundSignature;      ///< E9
extern const std::string_view kIcqNoteSignature;       ///< EE
extern const std::string_view kIcqFolderSignature;     ///< EF
extern const std::string_view kIcqServerListSignature; ///< F1

/// The client generation a build number belongs to; it decides an entry's layout.
enum class IcqEra { Icq98, V99a, V99b, V2000, V2001, V2002 };
IcqEra icqEra(uint16_t build);

/// Subtypes of message entries.
enum IcqSubtype : uint16_t {
    kIcqSubtypeMessage = 1,
    kIcqSubtypeUrl = 4,
    kIcqSubtypeAuthRequest = 6,
    kIcqSubtypeAuthDenied = 7,
    kIcqSubtypeAuthGranted = 8,
    kIcqSubtypeSystemRequest = 9,
    kIcqSubtypeAdded = 12,
    kIcqSubtypeWebPager = 13,
    kIcqSubtypeEmailExpress = 14,
    kIcqSubtypeContacts = 19,
    kIcqSubtypeSms = 26,
};

/// True for the system events whose text is the sender's nickname, first and last name,
/// e-mail, a status and a message, 0xFE between two (6, 7, 8, 9, 12).
bool icqIdentityEvent(uint16_t subtype);

/// Properties of one block, written in byte order of their names.
class IcqPropertyBlock {
public:
    void text(std::string_view name, std::string_view value);
    void integer(std::string_view name, uint32_t value);
    void byte(std::string_view name, char type, uint8_t value);
    void word(std::string_view name, char type, uint16_t value);
    void dword(std::string_view name, uint32_t value);
    void blob(std::string_view name, std::string_view bytes);
    /// A sublist of texts ('m', subtype 'k').
    void texts(std::string_view name, const std::vector<std::string>& values);
    /// A sublist of `count` nested blocks ('m', subtype 'n'), already encoded.
    void blocks(std::string_view name, uint32_t count, std::string_view encoded);
    /// WORD separator, LONG count and the properties, sorted by name.
    void appendTo(std::string& out, uint16_t separator);

private:
    std::vector<std::pair<std::string, std::string>> properties_;
};

/// A block list: LONG count and the blocks.
void appendBlockList(std::string& out, std::vector<IcqPropertyBlock>& blocks, uint16_t separator);

/// Texts of the identity part of 99a entries, which keep them outside any property.
struct IcqIdentity {
    std::string displayName;
    std::string nickName;
    std::string firstName;
    std::string lastName;
    std::string email;
    uint32_t uin = 0;
};

/// A group of the owner's contact list.
struct IcqGroup {
    uint32_t id = 0;
    std::string name;
};

/// The body (from 0x1C) of My Details for `build`: `blocks` hold the owner's properties (99a:
/// one block of other properties, the identity written apart), then the groups.
std::string icqOwnerBody(uint16_t build, std::vector<IcqPropertyBlock>& blocks,
                         const IcqIdentity& identity, const std::vector<IcqGroup>& groups);

/// The body (from 0x1C) of a contact entry for `build`, with its status and group.
std::string icqContactBody(uint16_t build, uint32_t status, uint32_t group,
                           std::vector<IcqPropertyBlock>& blocks, const IcqIdentity& identity);

/// What a message entry holds. Texts are bytes in the database's code page.
struct IcqMessageFields {
    uint32_t uin = 0;
    bool sent = false;
    uint16_t subtype = kIcqSubtypeMessage;
    uint32_t time = 0;
    /// The stored text (a URL entry's description, 0xFE, the link; system events their 0xFE
    /// separated fields).
    std::string text;
    bool deleted = false;
    /// A long message: the two colours after the footer (up to 2001a), or the RTF and UTF-8
    /// copies (2001b and later).
    bool longForm = false;
    std::string rtf;
    std::string utf8;
};

/// The body (from 0x1C) of a message entry for `build`.
std::string icqMessageBody(uint16_t build, const IcqMessageFields& message);
/// The flags word ICQ gives a message: 5 received, 4 sent, 1 system event; 2 added when it
/// lies in the Deleted Items folder.
uint32_t icqMessageFlags(const IcqMessageFields& message);

/// One framed entry: length, "filed in", ID, `signature` (cut or NUL-padded to 16 bytes) and
/// `body`.
void appendRecord(std::string& out, uint32_t filing, uint32_t entry, std::string_view signature,
                  std::string_view body);

// Building blocks, for tests that need malformed or unusual bytes. Each appends to `out`.

/// 2-byte name length counting the NUL, the name, a NUL and the type byte.
void appendPropertyName(std::string& out, std::string_view name, char type);
/// A 'k' property with the correct length.
void appendTextProperty(std::string& out, std::string_view name, std::string_view text);
/// A 'k' property whose length field is `declaredLength` whatever the text's size; the text
/// and a NUL follow.
void appendTextPropertyWithLength(std::string& out, std::string_view name, uint16_t declaredLength,
                                  std::string_view text);
/// An 'i' property.
void appendIntProperty(std::string& out, std::string_view name, uint32_t value);
/// A 'd' or 'e' property (one byte).
void appendByteProperty(std::string& out, std::string_view name, char type, uint8_t value);
/// An 'f' or 'g' property (two bytes).
void appendWordProperty(std::string& out, std::string_view name, char type, uint16_t value);
/// An 'h' property (four bytes).
void appendDwordProperty(std::string& out, std::string_view name, uint32_t value);
/// An 'o' property: 4-byte length and the raw bytes.
void appendBlobProperty(std::string& out, std::string_view name, std::string_view bytes);
/// An 'm' property as the contact scan meets it: a 4-byte byte count and the given, already
/// encoded, properties (not a sublist ICQ writes; see IcqPropertyBlock::texts and blocks).
void appendListProperty(std::string& out, std::string_view name, std::string_view properties);
/// A WORD length counting the NUL, the text and a NUL.
void appendStr16(std::string& out, std::string_view text);
/// Little-endian integers.
void appendLe16(std::string& out, uint16_t value);
void appendLe32(std::string& out, uint32_t value);

} // namespace mkwin
