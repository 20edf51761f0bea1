// Writes the seed corpus of every fuzz target, made by the writers the tests and the sample
// installations use: files as they lie on real disks, and a few damaged ones.
//
//     fuzz_seeds <corpus-folder>
//
// Each target's seeds go to <corpus-folder>/<target>/; files of an earlier run are replaced.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "bitmap/images.h"
#include "bitmap/vantrybitmap.h"
#include "emptyhive.h"
#include "fuzzsupport.h"
#include "icqdb.h"
#include "text/utf8.h"

namespace {

constexpr uint32_t kOwnerUin = 12345678;

std::string crlf(const std::string& text) {
    std::string out;
    for (const char c : text) {
        out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    return out;
}

void iniSeeds(const std::string& dir) {
    const std::string owner = "[ICQ User]\nNickName=Rover\nUIN=12345678\nFirstName=J\374rgen\n";
    fuzzsupport::writeBytes(dir + "/owner-crlf.uin", crlf(owner));
    fuzzsupport::writeBytes(dir + "/odd.ini", "Loose=before any header\n; a comment\n[ICQ User]\n"
                                              "NickName = Spaced \na=b=c\n=no name\nflag\n"
                                              "[icq user]\n[Unclosed\n[" +
                                                  std::string(120, 'S') + "]\n" +
                                                  std::string(90, 'k') + "=" +
                                                  std::string(300, 'v') + "\r");
}

std::string database(const mkwin::IcqDatabaseContent& content) {
    std::string error;
    const std::optional<std::string> bytes = mkwin::icqDatabaseBytes(content, error);
    if (!bytes) {
        fuzzsupport::fail(error);
    }
    return *bytes;
}

void contactSeeds(const std::string& dir) {
    fuzzsupport::writeBytes(dir + "/realistic.dat",
                            database(mkwin::realisticIcqDatabase(kOwnerUin, 12, 2000, 1)));
    // Texts over 127 bytes, a nameless record, a repeated one and one without UIN.
    mkwin::IcqDatabaseContent content;
    content.ownerUin = kOwnerUin;
    content.ownerNickName = "Rover";
    content.ownerFirstName = std::string(200, 'F');
    mkwin::IcqContactRecord first;
    first.uin = 1001;
    first.nickName = "first";
    first.firstName = "Fran\347ois";
    mkwin::IcqContactRecord nameless;
    nameless.uin = 1002;
    nameless.present = mkwin::kIcqUin | mkwin::kIcqFirstName;
    mkwin::IcqContactRecord noUin;
    noUin.present = mkwin::kIcqNickName;
    content.contacts = {first, nameless, first, noUin};
    fuzzsupport::writeBytes(dir + "/long-texts.dat", database(content));
    // Properties whose lengths say something else than what follows them, and the end mark.
    std::string body;
    mkwin::appendTextPropertyWithLength(body, "FirstName", 0xFFFF, "short");
    mkwin::appendTextPropertyWithLength(body, "NickName", 0x80, "eighty");
    mkwin::appendIntProperty(body, "UIN", 4242);
    mkwin::appendTextProperty(body, "MyDefinedHandle", "handle");
    mkwin::appendIntProperty(body, "UIN", static_cast<uint32_t>(-111));
    std::string records;
    mkwin::appendRecord(records, 1006, 1, "signature", body);
    fuzzsupport::writeBytes(dir + "/odd-lengths.dat", records);
}

mkwin::IcqDatabaseFiles databaseFiles(const mkwin::IcqDatabaseContent& content) {
    std::string error;
    std::optional<mkwin::IcqDatabaseFiles> files = mkwin::icqDatabaseFiles(content, error);
    if (!files) {
        fuzzsupport::fail(error);
    }
    return std::move(*files);
}

// A 4-byte index length, the index and the data file, as the archive target splits its input.
std::string archiveInput(const mkwin::IcqDatabaseFiles& files) {
    std::string out;
    mkwin::appendLe32(out, static_cast<uint32_t>(files.idx.size()));
    return out + files.idx + files.dat;
}

void archiveSeeds(const std::string& dir) {
    mkwin::IcqDatabaseContent small = mkwin::realisticIcqDatabase(kOwnerUin, 6, 4000, 3);
    fuzzsupport::writeBytes(dir + "/realistic.bin", archiveInput(databaseFiles(small)));
    small.index = false;
    fuzzsupport::writeBytes(dir + "/no-index.bin", archiveInput(databaseFiles(small)));

    // Every layout and kind of message, in a database cut short after its entries.
    mkwin::IcqDatabaseContent kinds;
    kinds.ownerUin = kOwnerUin;
    kinds.build = 545;
    for (const uint16_t build : {250, 319, 450, 505, 520}) {
        mkwin::IcqContactRecord c;
        c.uin = 10000u + build;
        c.nickName = "n\xE4";
        c.moreEmails = {"a@b.c"};
        c.build = build;
        kinds.contacts.push_back(c);
    }
    for (const uint16_t subtype : {1, 4, 6, 12, 13, 19, 26}) {
        mkwin::IcqMessage m;
        m.fields.uin = 10250;
        m.fields.subtype = subtype;
        m.fields.text = "a\xFE"
                        "b\xFE"
                        "c\xFE"
                        "d\xFE"
                        "1\xFE"
                        "e";
        m.fields.longForm = subtype == 1;
        m.fields.rtf = "{\\rtf1 R\\'e9\\u1055?\\par}";
        m.fields.utf8 = subtype == 1 ? "" : "\xD0\x9F";
        kinds.messages.push_back(m);
    }
    mkwin::IcqDatabaseFiles files = databaseFiles(kinds);
    const size_t end = files.places.back().offset + files.places.back().size;
    files.dat.resize(end);
    fuzzsupport::writeBytes(dir + "/kinds-cut.bin", archiveInput(files));
}

void xpmSeeds(const std::string& dir) {
    for (const auto& [name, lines] :
         {std::pair{"icon.xpm", icon}, {"icq32x32.xpm", icq32x32_xpm}, {"sel16.xpm", sel16_xpm}}) {
        CVantryBitmap bitmap;
        const std::string path = dir + "/" + name;
        if (!bitmap.LoadFromResources(lines) || !bitmap.SaveBitmap(path.c_str())) {
            fuzzsupport::fail("cannot save the built-in picture " + path);
        }
    }
    fuzzsupport::writeBytes(dir + "/long-rows.xpm",
                            "\"90 1 1 1\",\n\"x c #000000\",\n\"" + std::string(90, 'x') + "\"\n");
}

void regSeeds(const std::string& dir) {
    const std::string body =
        "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe]\n"
        "@=\"C:\\\\Program Files\\\\ICQ\\\\ICQ.exe\"\n\n"
        "[HKEY_CURRENT_USER\\Software\\Mirabilis\\ICQ\\DefaultPrefs]\n"
        "\"Default Server Host\"=\"login.icq.com\"\n"
        "\"Default Server Port\"=dword:00001446\n"
        "\"Expand\"=hex(2):25,00,53,00,79,00,73,00,25,00,\\\n  00,00\n"
        "\"ICQ Version\"=hex(7):61,00,00,00,00,00\n"
        "\"Big\"=hex(5):00,00,14,46\n"
        "\"Binary\"=hex:01,02,03\n"
        "\"Gone\"=-\n\n"
        "[HKEY_CURRENT_USER\\Software\\Mirabilis\\ICQ\\Owners\\12345678\\Prefs\\Sounds]\n"
        "\"ICQALAdmin\"=\"C:\\\\Sounds\\\\J\xC3\xBCrgen \\\"1\\\".wav\"\n"
        "[-HKEY_CURRENT_USER\\Software\\Mirabilis\\ICQ\\Owners\\99]\n"
        "[HKEY_CURRENT_USER\\Software\\Broken\nnot a value line\n";
    fuzzsupport::writeBytes(dir + "/regedit4.reg", crlf("REGEDIT4\n" + body));
    fuzzsupport::writeBytes(
        dir + "/version5.reg",
        "\xFF\xFE" + text::utf8ToUtf16le(crlf("Windows Registry Editor Version 5.00\n" + body)));
}

void hiveSeeds(const std::string& dir) {
    // One hive serves as both the user's and the machine's: the target reads it as both.
    mkwin::RegistryTree hive;
    const char* const prefs = "Software\\Mirabilis\\ICQ\\DefaultPrefs";
    hive.setString("Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe", "",
                   "C:\\Program Files\\ICQ\\ICQ.exe");
    hive.setString(prefs, "Default Server Host", "login.icq.com");
    hive.setDword(prefs, "Default Server Port", 5190);
    hive.setExpandString(prefs, "Expand", "%SystemRoot%");
    hive.setRaw(prefs, "ICQ Version", mkwin::kHiveSz, std::string("2000b\0", 6));
    hive.setRaw(prefs, "Big", mkwin::kHiveDwordBigEndian, std::string("\0\0\x01\x3f", 4));
    hive.setRaw(prefs, "Binary", mkwin::kHiveBinary, "\x01\x02\x03");
    hive.setString("Software\\Mirabilis\\ICQ\\Owners\\12345678\\Prefs\\Sounds", "ICQALAdmin",
                   std::string(600, 'a') + "\xC3\xA9.wav");
    const std::string path = dir + "/icq.hive";
    std::string error;
    if (!mkwin::writeHive(path, hive, error)) {
        fuzzsupport::fail(error);
    }
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // A stale header checksum and bins cut short, as a machine that crashed leaves them.
    std::string damaged = bytes;
    damaged[0x1FC] = static_cast<char>(damaged[0x1FC] ^ 0x55);
    fuzzsupport::writeBytes(dir + "/stale-checksum.hive", damaged);
    damaged = bytes;
    damaged[0x29] = static_cast<char>(damaged[0x29] + 0x10);
    fuzzsupport::writeBytes(dir + "/cut-short.hive", damaged);
}

void pathSeeds(const std::string& dir) {
    int n = 0;
    for (const char* path :
         {"c:/program files/icq/sounds/msg.wav", "%windir%\\..\\..\\..\\Link\\secret",
          "%ProgramFiles%\\ICQ\\uin\\12345678.uin", "%SystemDrive%\\Self\\Inside\\uin",
          "\\\\server\\share\\file.wav", "\\\\?\\C:\\Up\\outside", "\\\\.\\D:\\Back\\Link",
          "C:\\Loop\\x", "C:\\Dangle", "C:\\Program Files\\Abs\\etc\\passwd", "E:\\elsewhere",
          "C:..\\..\\outside"}) {
        fuzzsupport::writeBytes(dir + "/path-" + std::to_string(++n), path);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds <corpus-folder>\n");
        return 2;
    }
    const std::pair<const char*, void (*)(const std::string&)> targets[] = {
        {"ini", iniSeeds},        {"contacts", contactSeeds}, {"xpm", xpmSeeds},
        {"regfile", regSeeds},    {"hive", hiveSeeds},        {"path", pathSeeds},
        {"archive", archiveSeeds}};
    for (const auto& [target, write] : targets) {
        const std::string folder = std::string(argv[1]) + "/" + target;
        std::filesystem::create_directories(folder);
        write(folder);
    }
    return 0;
}
