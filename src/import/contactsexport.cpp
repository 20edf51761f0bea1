#include "plugin/tarvex.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "icqdata/contactsreader.h"
#include "icqdata/fileio.h"
#include "vqrt/hostagent.h"
#include "vqrt/vantryio.h"

namespace {

const int kCancelled = 32;
const int32_t kLastVersionWithDb99b = 319;

// Later ICQ versions keep their database in a folder of their own; these are tried, in this
// order, when the folder chosen by the version holds no database.
const char* const kOtherDatabaseFolders[] = {"2003a", "2002a", "2001a", "2000b",
                                             "2000a", "Db99b", "NewDB"};

// Only a regular file is a database: reading a folder fails, and opening a named pipe would
// wait for a writer that never comes.
bool isDatabaseFile(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

// parent + "/" + folder + "/" + uin + ".dat" into `out`; false when it does not fit, or when
// the UIN (text from the owner file) has a slash and so would name a file in another folder.
bool buildDatabasePath(char (&out)[256], const std::string& parent, const char* folder,
                       const std::string& uin) {
    if (uin.find('/') != std::string::npos) {
        out[0] = '\0';
        return false;
    }
    const int n =
        std::snprintf(out, sizeof out, "%s/%s/%s.dat", parent.c_str(), folder, uin.c_str());
    if (n < 0 || static_cast<size_t>(n) >= sizeof out) {
        out[0] = '\0';
        return false;
    }
    return true;
}

void fillPlaceholders(CcontactsReader::contactStruct& contact) {
    std::snprintf(contact.firstName, sizeof contact.firstName, "%s", "FirstName");
    std::snprintf(contact.lastName, sizeof contact.lastName, "%s", "LastName");
    contact.uin = -111;
    std::snprintf(contact.nickName, sizeof contact.nickName, "%s", "NickName");
    std::snprintf(contact.myDefinedHandle, sizeof contact.myDefinedHandle, "%s", "MyDefinedHandle");
    std::snprintf(contact.primaryEmail, sizeof contact.primaryEmail, "%s", "PrimaryEmail");
}

} // namespace

bool tarvex::exportContacts(CBaseVantryIO* io, CHostAgent* agent, CFileIO* file) {
    int count = 0;
    io->beginSection("CONTACTS");
    CcontactsReader reader(ownerUin);

    const char* lastSlash = std::strrchr(uinDir, '/');
    const std::string parent = lastSlash == nullptr
                                   ? std::string()
                                   : std::string(uinDir, static_cast<size_t>(lastSlash - uinDir));
    if (char* lastCr = std::strrchr(ownerUin, '\r')) {
        *lastCr = '\0';
    }
    const std::string uin = ownerUin;

    contactsDbPath[0] = '\0';
    // Without a folder to start from, no database is looked for (never the file system root).
    if (lastSlash != nullptr &&
        buildDatabasePath(contactsDbPath, parent,
                          icqVersion > kLastVersionWithDb99b ? "2000a" : "Db99b", uin) &&
        !isDatabaseFile(contactsDbPath)) {
        char candidate[256];
        for (const char* folder : kOtherDatabaseFolders) {
            if (buildDatabasePath(candidate, parent, folder, uin) && isDatabaseFile(candidate)) {
                std::memcpy(contactsDbPath, candidate, sizeof candidate);
                break;
            }
        }
    }
    if (contactsDbPath[0] != '\0' && isDatabaseFile(contactsDbPath)) {
        file->openFile(contactsDbPath, 1);
    }

    if (agent->stepProgress(5) == kCancelled) {
        return false;
    }

    CcontactsReader::contactStruct contact;
    fillPlaceholders(contact);
    char text[1024];
    while (reader.readContact(file, &contact) == 1) {
        ++count;
        std::snprintf(text, sizeof text, "contact_%d", count);
        io->beginSection(text);
        std::snprintf(text, sizeof text, "%ld", static_cast<long>(contact.uin));
        io->writeValue("UIN", text);
        io->writeValue("First_Name", contact.firstName);
        io->writeValue("Last_Name", contact.lastName);
        io->writeValue("Description", contact.myDefinedHandle);
        io->writeValue("Nickname", contact.nickName);
        io->writeValue("Email", contact.primaryEmail);
        fillPlaceholders(contact);
        io->endSection();
    }
    std::snprintf(text, sizeof text, "%d", count);
    io->writeValue("No_contacts", text);
    file->closeFile();
    io->endSection();
    return true;
}
