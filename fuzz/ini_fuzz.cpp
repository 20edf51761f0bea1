// The INI loader over an owner file as it may lie on a damaged disk: load, look up what the
// import reads and what the file holds, save and load the saved file again.

#include "fuzzsupport.h"
#include "ini/inireader.h"

#include <cstring>

namespace {

// Texts handed out fill the caller's buffer exactly; the short buffer cuts every text.
constexpr int kValueSize = 128;
constexpr int kShortSize = 5;
// Enough to walk what a fuzz input can hold without making each run slow.
constexpr int kWalkLimit = 64;

void walk(CIniReader& reader) {
    char name[kValueSize];
    char key[kValueSize];
    char value[kValueSize];
    char shortValue[kShortSize];
    reader.GetKeyVal("ICQ User", "NickName", value, sizeof value);
    reader.GetKeyVal("ICQ User", "UIN", value, sizeof value);
    reader.GetKeyVal("icq user", "uin", shortValue, sizeof shortValue);
    const int sections = reader.GetSectionsCount();
    for (int s = 0; s < sections && s < kWalkLimit; ++s) {
        const auto section = static_cast<unsigned int>(s);
        if (!reader.GetSectionName(section, name, sizeof name)) {
            fuzzsupport::fail("section " + std::to_string(s) + " of " + std::to_string(sections) +
                              " has no name");
        }
        // The name buffer is larger than any stored name, so it is terminated. Lines are
        // cleaned of their line feeds before anything is taken from them.
        if (strnlen(name, sizeof name) > 79 || std::strchr(name, '\n') != nullptr) {
            fuzzsupport::fail("a section name longer than 79 characters or with a line feed");
        }
        const int keys = reader.GetKeysCount(section);
        if (keys < 0 || reader.GetKeysCount(name) < 0) {
            fuzzsupport::fail("section " + std::to_string(s) + " has no key count");
        }
        for (int k = 0; k < keys && k < kWalkLimit; ++k) {
            const auto index = static_cast<unsigned int>(k);
            if (!reader.GetKeyVal(section, index, value, sizeof value)) {
                fuzzsupport::fail("key " + std::to_string(k) + " has no value");
            }
            if (strnlen(value, sizeof value) > 79 || std::strchr(value, '\n') != nullptr) {
                fuzzsupport::fail("a value longer than 79 characters or with a line feed");
            }
            reader.GetKeyVal(section, index, shortValue, sizeof shortValue);
            // A value taken as a key name, looked up in the first section of this name.
            std::memcpy(key, value, sizeof key);
            reader.GetKeyVal(name, key, value, sizeof value);
        }
    }
    reader.SetKeyValAlways("ICQ User", "NickName", "Rover");
    reader.IsSectionFound("Tolvane Dummy Section");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fuzzsupport::ScratchDir dir;
    static const std::string input = dir.file("owner.uin");
    static const std::string saved = dir.file("saved.uin");
    fuzzsupport::writeBytes(input, fuzzsupport::asText(data, size));

    CIniReader reader;
    if (!reader.LoadFromFile(input.c_str())) {
        fuzzsupport::fail("an existing file did not load");
    }
    walk(reader);
    if (!reader.SaveToFile(saved.c_str())) {
        fuzzsupport::fail("the document could not be saved");
    }
    CIniReader again;
    if (!again.LoadFromFile(saved.c_str())) {
        fuzzsupport::fail("the saved file did not load");
    }
    walk(again);
    return 0;
}
