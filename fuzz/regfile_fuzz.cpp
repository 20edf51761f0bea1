// The .reg parser over an export from disk, then the lookups the plug-in makes and lookups of
// the keys and values the input names, into buffers of exactly the size given.

#include "fuzzsupport.h"
#include "regfile.h"
#include "text/utf8.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Lookup {
    std::string root;
    std::string key;
    std::string value;
};

const Lookup kFixed[] = {
    {"HKEY_LOCAL_MACHINE", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe", ""},
    {"HKEY_CURRENT_USER", "Software\\Mirabilis\\ICQ\\DefaultPrefs", "ICQ Version"},
    {"HKEY_CURRENT_USER", "Software\\Mirabilis\\ICQ\\DefaultPrefs", "Default Server Host"},
    {"HKEY_CURRENT_USER", "Software\\Mirabilis\\ICQ\\DefaultPrefs", "Default Server Port"},
    {"HKEY_CURRENT_USER", "Software\\Mirabilis\\ICQ\\Owners\\12345678\\Prefs\\Sounds",
     "ICQALAdmin"},
    {"HKCU", "", ""},
};

// Sizes the plug-in passes, and the smallest ones that still take a terminator.
const size_t kSizes[] = {1, 2, 3, 128, 1024};

/// Key lines ("[root\key]") and value names ("name"=) as the input spells them, taken from
/// its 8-bit lines; a UTF-16 export names nothing here but is still looked up by kFixed.
std::vector<Lookup> namedLookups(std::string_view text) {
    std::vector<Lookup> found;
    std::string root;
    std::string key;
    size_t start = 0;
    while (start < text.size() && found.size() < 32) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.front() == '[') {
            const size_t close = line.find(']');
            const std::string_view inner =
                line.substr(1, close == line.npos ? line.npos : close - 1);
            const size_t cut = inner.find('\\');
            root = std::string(inner.substr(0, cut));
            key = cut == inner.npos ? std::string() : std::string(inner.substr(cut + 1));
        } else if (!line.empty() && line.front() == '"') {
            const size_t close = line.find('"', 1);
            found.push_back(
                {root, key,
                 std::string(line.substr(1, close == line.npos ? line.npos : close - 1))});
        } else if (!line.empty() && line.front() == '@') {
            found.push_back({root, key, ""});
        }
    }
    return found;
}

/// Messages are printed one to a line: no line break or other control character, all UTF-8.
void checkMessage(const std::string& message) {
    for (const char c : message) {
        if (static_cast<unsigned char>(c) < 0x20) {
            fuzzsupport::fail("a message holds a control character: " + message);
        }
    }
    if (!text::isValidUtf8(message)) {
        fuzzsupport::fail("a message is not UTF-8: " + message);
    }
}

void readAll(vqrt::RegFile& file, const Lookup& lookup) {
    for (const size_t size : kSizes) {
        // Exactly `size` bytes on the heap, so that a byte written past them is caught.
        const std::unique_ptr<char[]> out(new char[size]);
        std::memset(out.get(), 'x', size);
        const int answer = file.readString(lookup.root.c_str(), lookup.key.c_str(),
                                           lookup.value.c_str(), out.get(), size);
        if (answer == vqrt::kRegOk) {
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
    file.readDword(lookup.root.c_str(), lookup.key.c_str(), lookup.value.c_str(), &number);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes = fuzzsupport::asText(data, size);
    std::string error;
    const std::unique_ptr<vqrt::RegFile> file =
        vqrt::RegFile::parse(bytes, "fuzz.reg", "CP1252", error);
    if (!file) {
        if (error.empty()) {
            fuzzsupport::fail("a refused export gives no reason");
        }
        checkMessage(error);
        return 0;
    }
    for (const std::string& warning : file->warnings()) {
        checkMessage(warning);
    }
    for (const Lookup& lookup : kFixed) {
        readAll(*file, lookup);
    }
    for (const Lookup& lookup : namedLookups(bytes)) {
        readAll(*file, lookup);
    }
    return 0;
}
