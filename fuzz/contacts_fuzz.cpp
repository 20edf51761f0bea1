// The contact scan over a damaged or hostile contact database: read with CFileIO, contacts
// taken one by one until the file ends, for an owner whose UIN text ends in a CRLF as an owner
// file leaves it.

#include <cstring>
#include <set>

#include "fuzzsupport.h"
#include "icqdata/contactsreader.h"
#include "icqdata/fileio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = fuzzsupport::scratchFile("12345678.dat");
    fuzzsupport::writeBytes(path, fuzzsupport::asText(data, size));

    CFileIO file;
    if (file.openFile(path.c_str(), 1) != 0) {
        fuzzsupport::fail("the database did not open");
    }
    CcontactsReader reader("12345678\r\n");
    CcontactsReader::contactStruct contact{};
    std::set<int32_t> answered;
    // A recorded -111 ends the part of the answered UINs that is remembered.
    bool endMark = false;
    while (reader.readContact(&file, &contact) == 1) {
        for (const char* field : {contact.firstName, contact.lastName, contact.myDefinedHandle,
                                  contact.nickName, contact.primaryEmail}) {
            if (strnlen(field, sizeof contact.nickName) == sizeof contact.nickName) {
                fuzzsupport::fail("a text of the contact is not terminated");
            }
        }
        if (contact.uin == 12345678 || (!endMark && !answered.insert(contact.uin).second)) {
            fuzzsupport::fail("UIN " + std::to_string(contact.uin) +
                              " was answered again, or is the owner's");
        }
        endMark = endMark || contact.uin == -111;
    }
    file.closeFile();
    return 0;
}
