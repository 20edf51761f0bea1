#include "win9xregistry.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/tempdir.h"
#include "text/littleendian.h"
#include "win9xhive.h"

namespace {

using testsupport::TempDir;
using Lines = std::vector<std::string>;
using text::le16;
using text::le32;
using text::putLe32;

constexpr const char* kAppPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe";

std::string hex(size_t v) {
    char out[24];
    std::snprintf(out, sizeof out, "0x%zX", v);
    return out;
}

// HKEY_LOCAL_MACHINE as Windows 98 keeps it, its records spread over data blocks of 128 bytes.
std::string machineFile() {
    mkwin::RegistryTree t;
    t.setString(kAppPath, "", "C:\\PROGRA~1\\ICQ\\ICQ.EXE");
    t.setString("SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "RegisteredOwner",
                "\xD0\x91\xD0\xBE\xD1\x80\xD0\xB8\xD1\x81"); // Борис
    t.setRaw("SOFTWARE\\Mirabilis\\ICQ", "Negative", 4, "\xFF\xFF\xFF\xFF");
    t.setRaw("SOFTWARE\\Mirabilis\\ICQ", "Blob", 3, "\x01\x02");
    std::string error;
    return mkwin::win9xRegistryFile(t, "CP1251", error, 128).value();
}

// Where each data block of `b` begins.
std::vector<size_t> dataBlocks(const std::string& b) {
    std::vector<size_t> blocks;
    for (size_t at = le32(b, 0x08); blocks.size() < le16(b, 0x10); at += le32(b, at + 4)) {
        blocks.push_back(at);
    }
    return blocks;
}

// `b` with another word at 0x06 of each record than the number of its block, which is all
// that tolvane-mkwin keeps there and nothing says Windows keeps.
std::string withOtherBlockWords(std::string b) {
    for (const size_t block : dataBlocks(b)) {
        const size_t end = block + le32(b, block + 4);
        for (size_t record = block + 0x20; record + 0x14 <= end; record += le32(b, record)) {
            b.replace(record + 6, 2, "\x5A\xA5");
        }
    }
    return b;
}

// `b` with free room at the end of its last data block holding what a record's size would
// not fit in, as a block's unused end may.
std::string withFreeRoom(std::string b) {
    const size_t last = dataBlocks(b).back();
    putLe32(b, last + 4, le32(b, last + 4) + 0x40);
    return b + "\xF0\xFF\xFF\x7F" + std::string(0x3C, 'x');
}

// Where the record of the key `name` begins, and where the key is in the key area.
size_t recordOf(const std::string& b, const std::string& name) {
    return b.find(name) - 0x14;
}

size_t entryOf(const std::string& b, const std::string& name) {
    const uint32_t id = le32(b, recordOf(b, name) + 4);
    for (size_t at = 0x40; at + 0x1C <= 0x20 + le32(b, 0x24); at += 0x1C) {
        if (le32(b, at + 0x18) == id) {
            return at - 0x20;
        }
    }
    return 0;
}

std::string appPath(vqrt::RegistryLayer& registry) {
    char out[64] = "";
    registry.readString("HKEY_LOCAL_MACHINE", kAppPath, "", out, sizeof out);
    return out;
}

TEST(Win9xRegistry, ReadsKeysAndValuesSpreadOverDataBlocks) {
    for (const std::string& bytes :
         {machineFile(), withOtherBlockWords(machineFile()), withFreeRoom(machineFile())}) {
        TempDir dir;
        testsupport::writeFile(dir.file("SYSTEM.DAT"), bytes);
        vqrt::Win9xRegistry registry(dir.file("SYSTEM.DAT"), "", "CP1251");
        EXPECT_EQ(registry.warnings(), Lines{});
        EXPECT_EQ(appPath(registry), "C:\\PROGRA~1\\ICQ\\ICQ.EXE");
        char out[16] = "";
        EXPECT_EQ(registry.readString("HKLM", "software\\MICROSOFT\\Windows\\CurrentVersion\\",
                                      "registeredowner", out, sizeof out),
                  vqrt::kRegOk);
        EXPECT_STREQ(out, "\xD0\x91\xD0\xBE\xD1\x80\xD0\xB8\xD1\x81");
        long number = 0;
        EXPECT_EQ(registry.readDword("HKLM", "SOFTWARE\\Mirabilis\\ICQ", "Negative", &number),
                  vqrt::kRegOk);
        EXPECT_EQ(number, -1);
        EXPECT_EQ(registry.readDword("HKLM", "SOFTWARE\\Mirabilis\\ICQ", "Blob", &number),
                  vqrt::kRegWrongType);
        EXPECT_EQ(registry.readString("HKCU", kAppPath, "", out, sizeof out), vqrt::kRegNotFound);
    }
}

// The Windows folder's USER.DAT keeps the user below .DEFAULT; a profile's may keep it at its
// root or below a key of its own.
TEST(Win9xRegistry, FindsTheUserWhereverTheFileKeepsIt) {
    for (const std::string base : {".DEFAULT\\", "", "Alice\\"}) {
        SCOPED_TRACE(base);
        mkwin::RegistryTree t;
        t.setDword(base + "Software\\Mirabilis\\ICQ\\DefaultPrefs", "ICQ Version", 2000);
        t.key(base + "Control Panel");
        std::string error;
        TempDir dir;
        testsupport::writeFile(dir.file("USER.DAT"),
                               mkwin::win9xRegistryFile(t, "CP1252", error).value());
        vqrt::Win9xRegistry registry("", dir.file("USER.DAT"), "CP1252");
        long version = 0;
        EXPECT_EQ(registry.readDword("HKEY_CURRENT_USER",
                                     "Software\\Mirabilis\\ICQ\\DefaultPrefs\\", "ICQ Version",
                                     &version),
                  vqrt::kRegOk);
        EXPECT_EQ(version, 2000);
    }
}

// Damage ends the reading of what it touches: the message says where, the rest is read.
TEST(Win9xRegistry, DamageIsNamedAndTheRestIsRead) {
    const struct {
        const char* what;
        // Damages the file; answers the expected warning after "{file}: ".
        std::function<std::string(std::string&)> damage;
        bool appPathRead;
        bool mirabilisRead;
    } cases[] = {
        {"a .reg export under the name",
         [](std::string& b) {
             b = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n\r\n";
             return "not a Windows 95, 98 or ME registry file (expected \"CREG\" at the start, "
                    "found 52 45 47 45)";
         },
         false, false},
        {"cut short",
         [](std::string& b) {
             b.resize(60);
             return "not a Windows 95, 98 or ME registry file (expected at least 92 bytes, "
                    "found 60)";
         },
         false, false},
        {"key area past the end",
         [](std::string& b) {
             putLe32(b, 0x24, 0x7FFFFFF0);
             return "damaged (the key area at 0x20 gives its size as 0x7FFFFFF0, expected 0x3C "
                    "to " +
                    hex(b.size() - 0x20) + ")";
         },
         false, false},
        {"a data block more than there are",
         [](std::string& b) {
             ++b[0x10];
             return "damaged (expected data block " + std::to_string(b[0x10] - 1) +
                    " (\"RGDB\") at " + hex(b.size()) + ", found the end)";
         },
         true, true},
        {"a sibling past the key area",
         [](std::string& b) {
             putLe32(b, 0x20 + entryOf(b, "Microsoft") + 0x14, 0xFFFFF0);
             return "damaged (a key links to 0xFFFFF0, outside the key area of " +
                    hex(le32(b, 0x24)) + " bytes)";
         },
         true, false},
        {"a subkey that is its own ancestor",
         [](std::string& b) {
             const size_t software = entryOf(b, "SOFTWARE");
             putLe32(b, 0x20 + entryOf(b, "ICQ.exe") + 0x10, static_cast<uint32_t>(software));
             return "damaged (the key at " + hex(software) + " of the key area is linked twice)";
         },
         true, true},
        {"a record past its block",
         [](std::string& b) {
             putLe32(b, recordOf(b, "Mirabilis"), 0x7FFF);
             const size_t entry = 0x20 + entryOf(b, "Mirabilis");
             return "damaged (no record " + std::to_string(le16(b, entry + 0x18)) +
                    " in data block " + std::to_string(le16(b, entry + 0x1A)) +
                    " can be read for the key at " + hex(entry - 0x20) +
                    " of the key area, below \"SOFTWARE\")";
         },
         true, false},
        {"two subkeys of one name, an escape character in it",
         [](std::string& b) {
             b.replace(b.find("Microsoft"), 9,
                       "Mi\x1B"
                       "abilis");
             b.replace(b.find("Mirabilis"), 9,
                       "Mi\x1B"
                       "abilis");
             return "damaged (the key \"Mi\\x1Babilis\" appears twice)";
         },
         false, false},
        {"a key name past its record",
         [](std::string& b) {
             const size_t record = recordOf(b, "Mirabilis");
             b[record + 0x0C] = '\xF0';
             b[record + 0x0D] = '\xFF';
             return "damaged (the record at " + hex(record) +
                    " has a name of 0xFFF0 bytes, past its end)";
         },
         true, false},
        {"a value past its record",
         [](std::string& b) {
             const size_t record = recordOf(b, "ICQ.exe");
             b[record + 0x14 + 7 + 0x0B] = '\x7F';
             return "damaged (value 1 of the record at " + hex(record) + " runs past its end)";
         },
         false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        std::string bytes = machineFile();
        const std::string expected = dir.file("SYSTEM.DAT") + ": " + c.damage(bytes);
        testsupport::writeFile(dir.file("SYSTEM.DAT"), bytes);
        vqrt::Win9xRegistry registry(dir.file("SYSTEM.DAT"), "", "CP1251");
        EXPECT_EQ(registry.warnings(), Lines{expected});
        EXPECT_EQ(appPath(registry), c.appPathRead ? "C:\\PROGRA~1\\ICQ\\ICQ.EXE" : "");
        long number = 0;
        EXPECT_EQ(registry.readDword("HKLM", "SOFTWARE\\Mirabilis\\ICQ", "Negative", &number),
                  c.mirabilisRead ? vqrt::kRegOk : vqrt::kRegNotFound);
    }
}

// Windows copies its registry files at each good start (SYSTEM.DA0 beside SYSTEM.DAT): a copy
// that can be read stands in for a damaged file; a damaged copy does not.
TEST(Win9xRegistry, DamagedFileGivesWayToItsCopyFromTheLastStart) {
    TempDir dir;
    testsupport::writeFile(dir.file("SYSTEM.DAT"), "CREG");
    testsupport::writeFile(dir.file("system.da0"), machineFile());
    vqrt::Win9xRegistry registry(dir.file("SYSTEM.DAT"), "", "CP1251");
    EXPECT_EQ(appPath(registry), "C:\\PROGRA~1\\ICQ\\ICQ.EXE");
    const std::string cut = dir.file("SYSTEM.DAT") +
                            ": not a Windows 95, 98 or ME registry file (expected at least 92 "
                            "bytes, found 4)";
    EXPECT_EQ(registry.warnings(),
              Lines{cut + "; read its copy from the last start of Windows, system.da0, instead"});
    testsupport::writeFile(dir.file("system.da0"), machineFile().substr(0, 200));
    vqrt::Win9xRegistry bothDamaged(dir.file("SYSTEM.DAT"), "", "CP1251");
    EXPECT_EQ(appPath(bothDamaged), "");
    EXPECT_EQ(bothDamaged.warnings(), Lines{cut});
}

} // namespace
