#include "icqdata/contactsreader.h"

#include "icqdata/fileio.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace {

constexpr int kKeyFirstName = 1;
constexpr int kKeyLastName = 2;
constexpr int kKeyMyDefinedHandle = 3;
constexpr int kKeyNickName = 4;
constexpr int kKeyPrimaryEmail = 5;
constexpr int kKeyUin = 6;

constexpr char kTypeText = 'k';
constexpr char kTypeInteger = 'i';

// The longest property name, "MyDefinedHandle".
constexpr size_t kLongestName = 15;
// A text value holds at most 126 bytes: its length byte is signed and counts the final NUL.
constexpr size_t kValueSize = 128;

using Contact = CcontactsReader::contactStruct;
static_assert(sizeof(Contact::nickName) >= kValueSize, "a text value fits every field");

char* fieldOf(Contact* contact, int key) {
    switch (key) {
    case kKeyFirstName:
        return contact->firstName;
    case kKeyLastName:
        return contact->lastName;
    case kKeyMyDefinedHandle:
        return contact->myDefinedHandle;
    case kKeyNickName:
        return contact->nickName;
    case kKeyPrimaryEmail:
        return contact->primaryEmail;
    default:
        return nullptr;
    }
}

template <size_t N> void setText(char (&field)[N], const char* text) {
    std::snprintf(field, N, "%s", text);
}

} // namespace

CcontactsReader::CcontactsReader(const char* ownerUin)
    : seenCount(0), sentinelRecorded(false), ownUin(0) {
    for (int32_t& slot : seenUins) {
        slot = kFreeSlot;
    }
    setText(ownUinText, ownerUin != nullptr ? ownerUin : "");
    ownUin = std::strtol(ownUinText, nullptr, 10);
}

int CcontactsReader::IsKey(const char* name) {
    if (name == nullptr) {
        return 0;
    }
    const char* expected = nullptr;
    int key = 0;
    switch (name[0]) {
    case 'F':
        expected = "FirstName";
        key = kKeyFirstName;
        break;
    case 'L':
        expected = "LastName";
        key = kKeyLastName;
        break;
    case 'M':
        expected = "MyDefinedHandle";
        key = kKeyMyDefinedHandle;
        break;
    case 'N':
        expected = "NickName";
        key = kKeyNickName;
        break;
    case 'P':
        expected = "PrimaryEmail";
        key = kKeyPrimaryEmail;
        break;
    case 'U':
        expected = "UIN";
        key = kKeyUin;
        break;
    default:
        return 0;
    }
    return std::strcmp(name, expected) == 0 ? key : 0;
}

bool CcontactsReader::existUin(long uin) {
    // -111 marks the end of the recorded UINs, so it is never found itself.
    if (uin == kFreeSlot || uin < INT32_MIN || uin > INT32_MAX) {
        return false;
    }
    return seenIndex.count(static_cast<int32_t>(uin)) != 0;
}

void CcontactsReader::recordUin(int32_t uin) {
    if (seenCount < kSlots) {
        seenUins[seenCount] = uin;
    } else {
        moreUins.push_back(uin);
    }
    ++seenCount;
    // A recorded -111 reads as the end of the table: what comes after it is not seen.
    if (uin == kFreeSlot) {
        sentinelRecorded = true;
    } else if (!sentinelRecorded) {
        seenIndex.insert(uin);
    }
}

int CcontactsReader::readContact(CFileIO* file, contactStruct* contact) {
    if (file == nullptr || contact == nullptr) {
        return 0;
    }
    // The byte after the previous contact's UIN (or the first byte of the file) is skipped.
    file->readChar();
    bool nameFlag = false;
    char name[kLongestName + 1];
    char value[kValueSize];
    for (;;) {
        const char* p;
        do {
            p = file->readChar();
            if (p == nullptr) {
                return 0;
            }
        } while (*p == '\0');

        // Only runs as long as a property name are kept; a longer run is passed over
        // without being stored, whatever its length.
        size_t length = 0;
        char c = *p;
        while (c != '\0' && length < kLongestName) {
            name[length++] = c;
            p = file->readChar();
            if (p == nullptr) {
                return 0;
            }
            c = *p;
        }
        if (c != '\0') {
            do {
                p = file->readChar();
                if (p == nullptr) {
                    return 0;
                }
            } while (*p != '\0');
            continue;
        }
        name[length] = '\0';
        const int key = IsKey(name);
        if (key == 0) {
            continue;
        }

        p = file->readChar();
        if (p == nullptr) {
            return 0;
        }
        const char type = *p;
        if (type == kTypeText) {
            p = file->readChar();
            if (p == nullptr) {
                return 0;
            }
            const int declared = static_cast<signed char>(*p);
            if (file->readChar() == nullptr) {
                return 0;
            }
            size_t valueLength = 0;
            for (int i = 1; i < declared; ++i) {
                p = file->readChar();
                if (p == nullptr) {
                    return 0;
                }
                if (*p != '\0' && valueLength < kValueSize - 1) {
                    value[valueLength++] = *p;
                }
            }
            value[valueLength] = '\0';
            char* const field = fieldOf(contact, key);
            if (field != nullptr) {
                std::snprintf(field, sizeof contact->nickName, "%s", value);
                if (key == kKeyMyDefinedHandle || key == kKeyNickName) {
                    nameFlag = true;
                }
            }
        } else if (type == kTypeInteger) {
            uint32_t bits = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                p = file->readChar();
                if (p == nullptr) {
                    return 0;
                }
                bits |= static_cast<uint32_t>(static_cast<unsigned char>(*p)) << shift;
            }
            if (key != kKeyUin) {
                continue;
            }
            const int32_t uin = static_cast<int32_t>(bits);
            bool complete = false;
            if (uin == ownUin || existUin(uin)) {
                nameFlag = false;
                setText(contact->nickName, "NickName");
                setText(contact->myDefinedHandle, "MyDefinedHandle");
            } else if (nameFlag) {
                recordUin(uin);
                complete = true;
            }
            contact->uin = uin;
            if (complete) {
                std::cout << '\n' << "own uin : " << ownUinText << std::endl;
                return 1;
            }
        }
    }
}
