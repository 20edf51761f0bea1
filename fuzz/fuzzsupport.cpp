#include "fuzzsupport.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "text/utf8.h"
#include "vqrt/vqrt.h"

namespace fuzzsupport {

namespace {

struct ScratchDir {
    ScratchDir()
        : path(access("/dev/shm", W_OK | X_OK) == 0
                   ? "/dev/shm"
                   : std::filesystem::temp_directory_path().string()) {
        path += "/tolvane-fuzz-XXXXXX";
        if (mkdtemp(path.data()) == nullptr) {
            fail("cannot create a scratch folder from " + path);
        }
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string path;
};

} // namespace

std::string scratchFile(const std::string& name) {
    static const ScratchDir dir;
    return dir.path + "/" + name;
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
        if (message.empty() || !text::isValidUtf8(message) ||
            std::any_of(message.begin(), message.end(),
                        [](const char c) { return static_cast<unsigned char>(c) < 0x20; })) {
            fail("a message is empty, not UTF-8 or holds a control character: " + message);
        }
    }
}

void readPluginValues(CRegistryReader& registry) {
    const auto read = [&registry](const char* root, const char* key, const char* name) {
        for (const size_t size : {1, 2, 3, 128, 1024, 65536}) {
            // Exactly `size` bytes on the heap, so that a byte written past them is caught.
            const std::unique_ptr<char[]> out = std::make_unique<char[]>(size);
            std::memset(out.get(), 'x', size);
            if (registry.readString(root, key, name, out.get(), size) == 0 &&
                (strnlen(out.get(), size) == size || !text::isValidUtf8(out.get()))) {
                fail("readString answered an unterminated text or one that is not UTF-8");
            }
        }
        long number = 0;
        registry.readDword(root, key, name, &number);
    };
    // The plug-in's values and, beside them in the seeds, values of the other types.
    for (const char* name : {"ICQ Version", "Default Server Host", "Default Server Port", "Expand",
                             "Big", "Binary", "Multi"}) {
        read("HKEY_CURRENT_USER", "Software\\Mirabilis\\ICQ\\DefaultPrefs", name);
    }
    read("HKEY_LOCAL_MACHINE", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe",
         "");
    read("HKEY_CURRENT_USER", "Software\\Mirabilis\\ICQ\\Owners\\12345678\\Prefs\\Sounds",
         "ICQALAdmin");
    read("HKCU", "", "");
    // What the window reads for the old machine's time zone.
    read("HKEY_LOCAL_MACHINE", "SYSTEM\\Select", "Current");
    for (const char* name : {"TimeZoneKeyName", "StandardName"}) {
        read("HKEY_LOCAL_MACHINE", "SYSTEM\\ControlSet001\\Control\\TimeZoneInformation", name);
    }
}

} // namespace fuzzsupport
