// The INI loader over an owner file as it may lie on a damaged disk: load, look up what the
// import reads and what the file holds, save, and load the saved file again.

#include <cstring>

#include "fuzzsupport.h"
#include "ini/inireader.h"

namespace {

using fuzzsupport::fail;

// The walk stops where a fuzz input would only make each run slower.
constexpr unsigned kWalkLimit = 64;

void check(const char* text, const std::string& what) {
    if (strnlen(text, 128) > 79 || std::strchr(text, '\n') != nullptr) {
        fail(what + " longer than 79 characters or with a line feed");
    }
}

// Every text is read into a 128-byte buffer and cut in a 5-byte one.
void walk(CIniReader& reader) {
    char name[128];
    char value[128];
    char cut[5];
    reader.GetKeyVal("ICQ User", "NickName", value, sizeof value);
    reader.GetKeyVal("icq user", "uin", cut, sizeof cut);
    const int sections = reader.GetSectionsCount();
    for (unsigned s = 0; s < unsigned(sections) && s < kWalkLimit; ++s) {
        const int keys = reader.GetKeysCount(s);
        if (!reader.GetSectionName(s, name, sizeof name) || keys < 0 ||
            reader.GetKeysCount(name) < 0) {
            fail("section " + std::to_string(s) + " has no name or no key count");
        }
        check(name, "a section name");
        for (unsigned k = 0; k < unsigned(keys) && k < kWalkLimit; ++k) {
            if (!reader.GetKeyVal(s, k, value, sizeof value)) {
                fail("key " + std::to_string(k) + " has no value");
            }
            check(value, "a value");
            reader.GetKeyVal(s, k, cut, sizeof cut);
            // A value taken as a key name, looked up in the first section of this name.
            const std::string key = value;
            reader.GetKeyVal(name, key.c_str(), value, sizeof value);
        }
    }
    reader.SetKeyValAlways("ICQ User", "NickName", "Rover");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string input = fuzzsupport::scratchFile("owner.uin");
    static const std::string saved = fuzzsupport::scratchFile("saved.uin");
    fuzzsupport::writeBytes(input, fuzzsupport::asText(data, size));
    CIniReader reader;
    CIniReader again;
    if (!reader.LoadFromFile(input.c_str())) {
        fail("an existing file did not load");
    }
    walk(reader);
    if (!reader.SaveToFile(saved.c_str()) || !again.LoadFromFile(saved.c_str())) {
        fail("the document could not be saved and loaded again");
    }
    walk(again);
    return 0;
}
