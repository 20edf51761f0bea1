// The contact scan over a damaged or hostile contact database: read with CFileIO, contacts
// taken one by one until the file ends, for an owner whose UIN text ends in a CRLF as an
// owner file leaves it.

#include "fuzzsupport.h"
#include "icqdata/contactsreader.h"
#include "icqdata/fileio.h"

#include <cstring>
#include <set>

namespace {

constexpr const char* kOwnerUinText = "12345678\r\n";
constexpr int32_t kOwnerUin = 12345678;
// What the reader records as the end of its table: once answered, repeats may follow.
constexpr int32_t kEndMark = -111;

void checkTerminated(const char* field, const char* what) {
    if (strnlen(field, 1024) >= 1024) {
        fuzzsupport::fail(std::string(what) + " is not terminated");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fuzzsupport::ScratchDir dir;
    static const std::string path = dir.file("12345678.dat");
    fuzzsupport::writeBytes(path, fuzzsupport::asText(data, size));

    CFileIO file;
    if (file.openFile(path.c_str(), 1) != 0) {
        fuzzsupport::fail("the database did not open");
    }
    CcontactsReader reader(kOwnerUinText);
    CcontactsReader::contactStruct contact{};
    std::set<int32_t> answered;
    bool endMarkAnswered = false;
    while (reader.readContact(&file, &contact) == 1) {
        checkTerminated(contact.firstName, "FirstName");
        checkTerminated(contact.lastName, "LastName");
        checkTerminated(contact.myDefinedHandle, "MyDefinedHandle");
        checkTerminated(contact.nickName, "NickName");
        checkTerminated(contact.primaryEmail, "PrimaryEmail");
        if (contact.uin == kOwnerUin) {
            fuzzsupport::fail("the owner's own UIN was answered as a contact");
        }
        if (!answered.insert(contact.uin).second && !endMarkAnswered) {
            fuzzsupport::fail("UIN " + std::to_string(contact.uin) + " was answered twice");
        }
        endMarkAnswered = endMarkAnswered || contact.uin == kEndMark;
    }
    file.closeFile();
    return 0;
}
