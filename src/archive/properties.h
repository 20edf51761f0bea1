#pragma once

// Property blocks of owner and contact entries (and of the owner's groups): a block is a WORD
// separator, a LONG count and the properties; a property is a name (WORD length counting the
// NUL, the name, NUL), a type byte and its value.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/bytes.h"

namespace archive {

/// One property as read; views into the entry.
struct Property {
    std::string_view name;
    uint8_t type = 0;
    /// The value of a number type (0x64 to 0x69).
    uint32_t number = 0;
    /// The value of a text (0x6B), without its NUL.
    std::string_view text;
    /// The texts of a sublist of texts (0x6D, subtype 0x6B).
    std::vector<std::string_view> texts;
};

/// Receives the properties at the top of a block (those of nested blocks are not passed on).
using PropertyVisitor = std::function<void(const Property&)>;

/// Reads one block. False with `problem` set ("property \"NickName\": text of 900 bytes past
/// the end of the entry (12 bytes left)") when a length, count or type does not fit.
bool readBlock(ByteReader& in, const PropertyVisitor& visit, std::string& problem);
/// Reads a block list: LONG count, then the blocks.
bool readBlockList(ByteReader& in, const PropertyVisitor& visit, std::string& problem);

/// What people filled in about themselves beyond their names: a text or a number among the
/// properties named Home*, Work*, Birth*, Age, Gender and About.
struct Detail {
    std::string_view name;
    bool isText = false;
    std::string_view text; ///< a text's value
    int64_t number = 0;    ///< a number's value, signed where its type is
};

/// The identity of a contact or the owner, as stored (views into the entry).
struct Identity {
    bool hasUin = false;
    uint32_t uin = 0;
    std::string_view nickName;
    std::string_view handle;
    std::string_view firstName;
    std::string_view lastName;
    std::string_view primaryEmail;
    /// SecondEmail, OldEmail and the MoreEmails list, in the order met.
    std::vector<std::string_view> otherEmails;
    /// The details that hold something (empty texts and zeros are left out), in the order met.
    std::vector<Detail> details;

    /// Takes the property when it is one of the identity's. Passwords and encrypted values
    /// are never among them.
    void take(const Property& property);
};

} // namespace archive
