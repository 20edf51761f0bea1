#include "fuzzsupport.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "text/utf8.h"
#include "vqrt/vqrt.h"

namespace fuzzsupport {

ScratchDir::ScratchDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm"
                          : tmp != nullptr && *tmp != '\0'     ? tmp
                                                               : "/tmp";
    pattern += "/tolvane-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        fail("cannot create a scratch folder from " + pattern);
    }
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void writeBytes(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || !out.flush()) {
        fail("cannot write " + path);
    }
}

void fail(const std::string& what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}

void checkMessages(const std::vector<std::string>& messages) {
    for (const std::string& message : messages) {
        for (const char c : message) {
            if (static_cast<unsigned char>(c) < 0x20) {
                fail("a message holds a control character: " + message);
            }
        }
        if (!text::isValidUtf8(message)) {
            fail("a message is not UTF-8: " + message);
        }
    }
}

void readPluginValues(CRegistryReader& registry) {
    static const char* const kLookups[][3] = {
        {"HKEY_LOCAL_MACHINE", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe",
         ""},
        {"HKEY_CURRENT_USER", "Software\\Mirabilis\\ICQ\\DefaultPrefs", "ICQ Version"},
        {"HKEY_CURRENT_USER", "Software\\Mirabilis\\ICQ\\DefaultPrefs", "Default Server Host"},
        {"HKEY_CURRENT_USER", "Software\\Mirabilis\\ICQ\\DefaultPrefs", "Default Server Port"},
        // Values of the other types, which the seeds keep beside the plug-in's.
        {"HKEY_CURRENT_USER", "Software\\Mirabilis\\ICQ\\DefaultPrefs", "Expand"},
        {"HKEY_CURRENT_USER", "Software\\Mirabilis\\ICQ\\DefaultPrefs", "Big"},
        {"HKEY_CURRENT_USER", "Software\\Mirabilis\\ICQ\\DefaultPrefs", "Binary"},
        {"HKEY_CURRENT_USER", "Software\\Mirabilis\\ICQ\\Owners\\12345678\\Prefs\\Sounds",
         "ICQALAdmin"},
        {"HKCU", "", ""},
    };
    for (const auto& lookup : kLookups) {
        for (const size_t size : {1, 2, 3, 128, 1024, 65536}) {
            // Exactly `size` bytes on the heap, so that a byte written past them is caught.
            const std::unique_ptr<char[]> out(new char[size]);
            std::memset(out.get(), 'x', size);
            if (registry.readString(lookup[0], lookup[1], lookup[2], out.get(), size) == 0 &&
                (strnlen(out.get(), size) == size || !text::isValidUtf8(out.get()))) {
                fail("readString answered an unterminated text or one that is not UTF-8");
            }
        }
        long number = 0;
        registry.readDword(lookup[0], lookup[1], lookup[2], &number);
    }
}

} // namespace fuzzsupport
