// The contact scan over a damaged or hostile contact database: read with CFileIO, contacts
// taken one by one until the file ends, for an owner whose UIN text ends in a CRLF as an
// owner file leaves it. Each answer is compared with a plain model of the scan, written
// straight from the database format, byte by byte over the input in memory.

#include "fuzzsupport.h"
#include "icqdata/contactsreader.h"
#include "icqdata/fileio.h"

#include <cstring>
#include <optional>
#include <string>
#include <unordered_set>

namespace {

using Contact = CcontactsReader::contactStruct;

constexpr const char* kOwnerUinText = "12345678\r\n";
constexpr int32_t kOwnerUin = 12345678;
// A recorded -111 ends the part of the answered UINs that is looked at.
constexpr int32_t kEndMark = -111;

/// The scan as the format describes it, one property at a time.
class ModelScan {
public:
    explicit ModelScan(std::string_view bytes) : bytes_(bytes) {}

    int readContact(Contact& contact) {
        next(); // the byte after the previous UIN, or the first one
        bool nameFlag = false;
        for (;;) {
            std::optional<char> c;
            do {
                c = next();
                if (!c) {
                    return 0;
                }
            } while (*c == '\0');
            std::string name;
            while (*c != '\0') {
                name += *c;
                c = next();
                if (!c) {
                    return 0;
                }
            }
            const int key = keyOf(name);
            if (key == 0) {
                continue;
            }
            const std::optional<char> type = next();
            if (!type) {
                return 0;
            }
            if (*type == 'k') {
                const std::optional<char> length = next();
                if (!length || !next()) {
                    return 0;
                }
                std::string text;
                for (int i = 1; i < static_cast<signed char>(*length); ++i) {
                    const std::optional<char> b = next();
                    if (!b) {
                        return 0;
                    }
                    if (*b != '\0') {
                        text += *b;
                    }
                }
                if (char* field = fieldOf(contact, key)) {
                    std::snprintf(field, sizeof contact.nickName, "%s", text.c_str());
                    nameFlag = nameFlag || key == 3 || key == 4;
                }
            } else if (*type == 'i') {
                uint32_t bits = 0;
                for (int shift = 0; shift < 32; shift += 8) {
                    const std::optional<char> b = next();
                    if (!b) {
                        return 0;
                    }
                    bits |= uint32_t{static_cast<unsigned char>(*b)} << shift;
                }
                if (key != 6) {
                    continue;
                }
                const auto uin = static_cast<int32_t>(bits);
                bool complete = false;
                if (uin == kOwnerUin || seen_.count(uin) != 0) {
                    nameFlag = false;
                    std::snprintf(contact.nickName, sizeof contact.nickName, "NickName");
                    std::snprintf(contact.myDefinedHandle, sizeof contact.myDefinedHandle,
                                  "MyDefinedHandle");
                } else if (nameFlag) {
                    endMarkSeen_ = endMarkSeen_ || uin == kEndMark;
                    if (!endMarkSeen_) {
                        seen_.insert(uin);
                    }
                    complete = true;
                }
                contact.uin = uin;
                if (complete) {
                    return 1;
                }
            }
        }
    }

private:
    std::optional<char> next() {
        if (pos_ >= bytes_.size()) {
            return std::nullopt;
        }
        return bytes_[pos_++];
    }

    static int keyOf(const std::string& name) {
        const char* const names[] = {"FirstName", "LastName",     "MyDefinedHandle",
                                     "NickName",  "PrimaryEmail", "UIN"};
        for (int i = 0; i < 6; ++i) {
            if (name == names[i]) {
                return i + 1;
            }
        }
        return 0;
    }

    static char* fieldOf(Contact& contact, int key) {
        char* const fields[] = {contact.firstName, contact.lastName, contact.myDefinedHandle,
                                contact.nickName, contact.primaryEmail};
        return key >= 1 && key <= 5 ? fields[key - 1] : nullptr;
    }

    std::string_view bytes_;
    size_t pos_ = 0;
    std::unordered_set<int32_t> seen_;
    bool endMarkSeen_ = false;
};

std::string describe(const Contact& c) {
    return "uin " + std::to_string(c.uin) + " \"" + c.firstName + "\" \"" + c.lastName + "\" \"" +
           c.myDefinedHandle + "\" \"" + c.nickName + "\" \"" + c.primaryEmail + "\"";
}

bool sameContact(const Contact& a, const Contact& b) {
    return a.uin == b.uin && std::strcmp(a.firstName, b.firstName) == 0 &&
           std::strcmp(a.lastName, b.lastName) == 0 &&
           std::strcmp(a.myDefinedHandle, b.myDefinedHandle) == 0 &&
           std::strcmp(a.nickName, b.nickName) == 0 &&
           std::strcmp(a.primaryEmail, b.primaryEmail) == 0;
}

void checkTerminated(const char* field, const char* what) {
    if (strnlen(field, 1024) >= 1024) {
        fuzzsupport::fail(std::string(what) + " is not terminated");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fuzzsupport::ScratchDir dir;
    static const std::string path = dir.file("12345678.dat");
    const std::string_view bytes = fuzzsupport::asText(data, size);
    fuzzsupport::writeBytes(path, bytes);

    CFileIO file;
    if (file.openFile(path.c_str(), 1) != 0) {
        fuzzsupport::fail("the database did not open");
    }
    CcontactsReader reader(kOwnerUinText);
    ModelScan model(bytes);
    Contact contact{};
    Contact expected{};
    for (int count = 1;; ++count) {
        const int answer = reader.readContact(&file, &contact);
        const int expectedAnswer = model.readContact(expected);
        checkTerminated(contact.firstName, "FirstName");
        checkTerminated(contact.lastName, "LastName");
        checkTerminated(contact.myDefinedHandle, "MyDefinedHandle");
        checkTerminated(contact.nickName, "NickName");
        checkTerminated(contact.primaryEmail, "PrimaryEmail");
        if (answer != expectedAnswer || !sameContact(contact, expected)) {
            fuzzsupport::fail("call " + std::to_string(count) + " answered " +
                              std::to_string(answer) + " with " + describe(contact) +
                              ", the format gives " + std::to_string(expectedAnswer) + " with " +
                              describe(expected));
        }
        if (answer == 0) {
            break;
        }
        if (contact.uin == kOwnerUin) {
            fuzzsupport::fail("the owner's own UIN was answered as a contact");
        }
    }
    file.closeFile();
    return 0;
}
