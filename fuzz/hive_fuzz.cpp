// The hive-backed registry reader over a hive file from a damaged or hostile disk, taken as
// both the SOFTWARE hive and the user's NTUSER.DAT, then the lookups the plug-in makes, into
// buffers of exactly the size given.

#include "fuzzsupport.h"
#include "hiveregistry.h"
#include "text/utf8.h"

#include <cstring>
#include <memory>
#include <string>

namespace {

struct Lookup {
    const char* root;
    const char* key;
    const char* value;
};

const Lookup kLookups[] = {
    {"HKEY_LOCAL_MACHINE", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe", ""},
    {"HKEY_LOCAL_MACHINE", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir"},
    {"HKEY_LOCAL_MACHINE", "SOFTWARE\\Mirabilis\\ICQ", "Version"},
    {"HKEY_CURRENT_USER", "Software\\Mirabilis\\ICQ\\DefaultPrefs", "ICQ Version"},
    {"HKEY_CURRENT_USER", "Software\\Mirabilis\\ICQ\\DefaultPrefs", "Default Server Host"},
    {"HKEY_CURRENT_USER", "Software\\Mirabilis\\ICQ\\DefaultPrefs", "Default Server Port"},
    {"HKEY_CURRENT_USER", "Software\\Mirabilis\\ICQ\\Owners\\12345678\\Prefs\\Sounds",
     "ICQALAdmin"},
    {"HKEY_CURRENT_USER", "Software\\Mirabilis\\ICQ\\Owners\\12345678\\Prefs", "Binary"},
    {"HKEY_CURRENT_USER", "", ""},
};

// The sizes the plug-in passes, the smallest that still take a terminator, and a large one.
const size_t kSizes[] = {1, 2, 3, 128, 1024, 65536};

void readAll(vqrt::HiveRegistry& registry, const Lookup& lookup) {
    for (const size_t size : kSizes) {
        // Exactly `size` bytes on the heap, so that a byte written past them is caught.
        const std::unique_ptr<char[]> out(new char[size]);
        std::memset(out.get(), 'x', size);
        if (registry.readString(lookup.root, lookup.key, lookup.value, out.get(), size) ==
            vqrt::kRegOk) {
            const size_t length = strnlen(out.get(), size);
            if (length == size) {
                fuzzsupport::fail("readString left its answer unterminated");
            }
            if (!text::isValidUtf8(std::string_view(out.get(), length))) {
                fuzzsupport::fail("readString answered text that is not UTF-8");
            }
        }
    }
    long number = 0;
    registry.readDword(lookup.root, lookup.key, lookup.value, &number);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fuzzsupport::ScratchDir dir;
    static const std::string path = dir.file("NTUSER.DAT");
    fuzzsupport::writeBytes(path, fuzzsupport::asText(data, size));

    vqrt::HiveRegistry registry(path, path);
    for (const Lookup& lookup : kLookups) {
        readAll(registry, lookup);
    }
    for (const std::string& problem : registry.warnings()) {
        if (problem.find('\n') != std::string::npos) {
            fuzzsupport::fail("a problem takes more than one line: " + problem);
        }
    }
    return 0;
}
