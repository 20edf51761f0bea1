// Writes the seed corpus of every fuzz target: files as they lie on real disks, made by the
// same writers the tests and the sample installations use, and a few damaged ones.
//
//     fuzz_seeds <corpus-folder>
//
// Each target's seeds go to <corpus-folder>/<target>/; files of an earlier run are replaced.

#include "bitmap/images.h"
#include "bitmap/vantrybitmap.h"
#include "emptyhive.h"
#include "fuzzsupport.h"
#include "icqdb.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

using fuzzsupport::writeBytes;

constexpr uint32_t kOwnerUin = 12345678;

std::string folder(const std::string& corpus, const std::string& target) {
    const std::string path = corpus + "/" + target;
    std::filesystem::create_directories(path);
    return path;
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string withLineEnds(const std::string& text, const std::string& lineEnd) {
    std::string out;
    for (const char c : text) {
        if (c == '\n') {
            out += lineEnd;
        } else {
            out += c;
        }
    }
    return out;
}

void iniSeeds(const std::string& dir) {
    const std::string owner = "[ICQ User]\nNickName=Rover\nUIN=12345678\nFirstName=J\374rgen\n"
                              "LastName=M\374ller\nEMail=rover@example.com\n";
    writeBytes(dir + "/owner-crlf.uin", withLineEnds(owner, "\r\n"));
    writeBytes(dir + "/owner-lf.uin", owner);
    writeBytes(dir + "/owner-cr.uin", withLineEnds(owner, "\r"));
    writeBytes(dir + "/sections.ini",
               withLineEnds("Loose=before any header\n; a comment\n\n[ICQ User]\n"
                            "NickName = Spaced  Out \nUIN=12345678\n[  Second Section  ]\n"
                            "a=b=c\n   \n=no name\nflag\n[icq user]\nNickName=Later\n"
                            "[Unclosed\nkey=value\n",
                            "\r\n"));
    writeBytes(dir + "/long-lines.ini", "[" + std::string(120, 'S') + "]\n" + std::string(90, 'k') +
                                            "=" + std::string(300, 'v') +
                                            "\n[ICQ User]\nNickName=" + std::string(150, 'N') +
                                            "\r\n");
}

std::string databaseBytes(const mkwin::IcqDatabaseContent& content) {
    std::string error;
    const std::optional<std::string> bytes = mkwin::icqDatabaseBytes(content, error);
    if (!bytes) {
        fuzzsupport::fail(error);
    }
    return *bytes;
}

void contactSeeds(const std::string& dir) {
    writeBytes(dir + "/realistic.dat",
               databaseBytes(mkwin::realisticIcqDatabase(kOwnerUin, 12, 2000, 1)));
    writeBytes(dir + "/realistic-2.dat",
               databaseBytes(mkwin::realisticIcqDatabase(kOwnerUin, 4, 600, 7)));

    mkwin::IcqDatabaseContent content;
    content.ownerUin = kOwnerUin;
    content.ownerNickName = "Rover";
    content.ownerFirstName = std::string(200, 'F');
    content.ownerLastName = std::string(130, 'L');
    content.ownerRecordIndex = 1;
    mkwin::IcqContactRecord first;
    first.uin = 1001;
    first.nickName = "first";
    first.myDefinedHandle = "First One";
    first.firstName = "Fran\347ois";
    content.contacts.push_back(first);
    mkwin::IcqContactRecord nameless;
    nameless.uin = 1002;
    nameless.present = mkwin::kIcqUin | mkwin::kIcqFirstName;
    nameless.firstName = "Nobody";
    content.contacts.push_back(nameless);
    mkwin::IcqContactRecord again = first;
    again.status = mkwin::IcqContactStatus::Removed;
    content.contacts.push_back(again);
    mkwin::IcqContactRecord noUin;
    noUin.present = mkwin::kIcqNickName;
    noUin.nickName = "no uin";
    content.contacts.push_back(noUin);
    content.historyBytes = 300;
    writeBytes(dir + "/long-texts.dat", databaseBytes(content));

    // Properties whose lengths say something else than what follows them.
    std::string body;
    mkwin::appendTextPropertyWithLength(body, "FirstName", 0xFFFF, "short");
    mkwin::appendTextPropertyWithLength(body, "NickName", 0x80, "eighty");
    mkwin::appendTextPropertyWithLength(body, "LastName", 0, "");
    mkwin::appendIntProperty(body, "UIN", 4242);
    std::string records;
    mkwin::appendRecord(records, 1006, 1, "signature", body);
    std::string properties;
    mkwin::appendIntProperty(properties, "UIN", 4343);
    std::string list;
    mkwin::appendListProperty(list, "Sub", properties);
    mkwin::appendBlobProperty(list, "Raw", std::string("\0NickName\0k", 11));
    mkwin::appendTextProperty(list, "MyDefinedHandle", "handle");
    mkwin::appendIntProperty(list, "UIN", static_cast<uint32_t>(-111));
    mkwin::appendRecord(records, 1006, 2, "signature", list);
    writeBytes(dir + "/odd-lengths.dat", records);
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
    writeBytes(dir + "/realistic.bin", archiveInput(databaseFiles(small)));
    small.index = false;
    writeBytes(dir + "/no-index.bin", archiveInput(databaseFiles(small)));

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
    writeBytes(dir + "/kinds-cut.bin", archiveInput(files));
}

void xpmSeeds(const std::string& dir) {
    struct Image {
        const char* name;
        const char* const* lines;
    };
    const Image images[] = {{"icon.xpm", icon},
                            {"icq32x32.xpm", icq32x32_xpm},
                            {"sel16.xpm", sel16_xpm},
                            {"desel16.xpm", desel16_xpm}};
    for (const Image& image : images) {
        CVantryBitmap bitmap;
        const std::string path = dir + "/" + image.name;
        if (!bitmap.LoadFromResources(image.lines) || !bitmap.SaveBitmap(path.c_str())) {
            fuzzsupport::fail("cannot save the built-in picture " + path);
        }
    }
    writeBytes(dir + "/tiny.xpm", "/* XPM */\nstatic char* tiny[] = {\n\"3 2 2 1\",\n"
                                  "\"  c None\",\n\". c #FF0000\",\n\" . \",\n\"..\"};\n");
    writeBytes(dir + "/long-rows.xpm",
               "\"90 1 1 1\",\n\"x c #000000\",\n\"" + std::string(90, 'x') + "\"\n");
}

void regSeeds(const std::string& dir) {
    const std::string body =
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe]\n"
        "@=\"C:\\\\Program Files\\\\ICQ\\\\ICQ.exe\"\n"
        "\n"
        "[HKEY_CURRENT_USER\\Software\\Mirabilis\\ICQ\\DefaultPrefs]\n"
        "\"Default Server Host\"=\"login.icq.com\"\n"
        "\"Default Server Port\"=dword:00001446\n"
        "\"ICQ Version\"=dword:0000013f\n"
        "\"Expand\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,\\\n"
        "  74,00,25,00,00,00\n"
        "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\n"
        "\"Big\"=hex(5):00,00,14,46\n"
        "\"Binary\"=hex:01,02,03\n"
        "\"Gone\"=-\n"
        "\n"
        "[HKEY_CURRENT_USER\\Software\\Mirabilis\\ICQ\\Owners\\12345678\\Prefs\\Sounds]\n"
        "\"ICQALAdmin\"=\"C:\\\\Program Files\\\\ICQ\\\\Sounds\\\\J\xFCrgen.wav\"\n"
        "\n"
        "[-HKEY_CURRENT_USER\\Software\\Mirabilis\\ICQ\\Owners\\99]\n"
        "[HKEY_CURRENT_USER\\Software\\Broken\n"
        "not a value line\n";
    writeBytes(dir + "/regedit4.reg", withLineEnds("REGEDIT4\n\n" + body, "\r\n"));

    // Version 5 is written in UTF-16LE with its byte order mark; its 8-bit text is Latin-1
    // here, which is how Windows-1252 reads for these letters.
    const std::string text =
        withLineEnds("Windows Registry Editor Version 5.00\n\n" + body, "\r\n");
    std::string utf16 = "\xFF\xFE";
    for (const char c : text) {
        utf16 += c;
        utf16 += '\0';
    }
    writeBytes(dir + "/version5-utf16.reg", utf16);
    writeBytes(dir + "/version5-utf8.reg",
               "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n\n"
               "[HKCU\\Software\\Mirabilis\\ICQ\\DefaultPrefs]\n"
               "\"Default Server Host\"=\"\xC3\xA9t\xC3\xA9.example\"\n");
}

void hiveSeeds(const std::string& dir) {
    writeBytes(dir + "/empty.hive", mkwin::emptyHive());
    const std::string path = dir + "/icq.hive";
    {
        mkwin::RegistryTree hive;
        // One hive serves as both the user's and the machine's: the target reads it as both.
        hive.setString("Microsoft\\Windows\\CurrentVersion\\App Paths\\ICQ.exe", "",
                       "C:\\Program Files\\ICQ\\ICQ.exe");
        hive.setExpandString("Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir",
                             "%SystemDrive%\\Program Files");
        hive.setRaw("Mirabilis\\ICQ", "Version", mkwin::kHiveSz, std::string("2000b\0", 6));
        hive.setString("Software\\Mirabilis\\ICQ\\DefaultPrefs", "Default Server Host",
                       "login.icq.com");
        hive.setDword("Software\\Mirabilis\\ICQ\\DefaultPrefs", "Default Server Port", 5190);
        hive.setRaw("Software\\Mirabilis\\ICQ\\DefaultPrefs", "ICQ Version",
                    mkwin::kHiveDwordBigEndian, std::string("\0\0\x01\x3f", 4));
        hive.setString("Software\\Mirabilis\\ICQ\\Owners\\12345678\\Prefs\\Sounds", "ICQALAdmin",
                       std::string(600, 'a') + "\xC3\xA9.wav");
        hive.setRaw("Software\\Mirabilis\\ICQ\\Owners\\12345678\\Prefs", "Binary",
                    mkwin::kHiveBinary, "\x01\x02\x03");
        std::string error;
        if (!mkwin::writeHive(path, hive, error)) {
            fuzzsupport::fail(error);
        }
    }
    const std::string bytes = readBytes(path);
    // A stale header checksum and bins cut short, as a machine that crashed leaves them.
    std::string stale = bytes;
    stale[0x1FC] = static_cast<char>(stale[0x1FC] ^ 0x55);
    writeBytes(dir + "/stale-checksum.hive", stale);
    std::string cut = bytes;
    cut[0x29] = static_cast<char>(cut[0x29] + 0x10);
    writeBytes(dir + "/cut-short.hive", cut);
}

void pathSeeds(const std::string& dir) {
    const char* const paths[] = {
        "C:\\Program Files\\ICQ\\ICQ.exe",
        "c:/program files/icq/sounds/msg.wav",
        "%SystemRoot%\\System32\\config\\SOFTWARE",
        "%windir%\\..\\..\\..\\Link\\secret",
        "%ProgramFiles%\\ICQ\\uin\\12345678.uin",
        "%SystemDrive%\\Documents and Settings\\User\\NTUSER.DAT",
        "\\\\server\\share\\file.wav",
        "\\\\?\\C:\\Program Files\\ICQ",
        "\\\\.\\D:\\Data\\notes.txt",
        "D:\\Back\\Program Files",
        "C:\\Link\\secret",
        "C:\\Up\\outside\\secret",
        "C:\\Self\\Self\\Inside\\Sounds\\MSG.WAV",
        "C:\\Loop\\x",
        "C:\\Dangle",
        "C:\\Program Files\\Abs\\etc\\passwd",
        "E:\\elsewhere",
        "relative\\path",
        "C:..\\..\\outside",
    };
    int n = 0;
    for (const char* path : paths) {
        writeBytes(dir + "/path-" + std::to_string(++n), path);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds <corpus-folder>\n");
        return 2;
    }
    const std::string corpus = argv[1];
    iniSeeds(folder(corpus, "ini"));
    contactSeeds(folder(corpus, "contacts"));
    xpmSeeds(folder(corpus, "xpm"));
    regSeeds(folder(corpus, "regfile"));
    hiveSeeds(folder(corpus, "hive"));
    pathSeeds(folder(corpus, "path"));
    archiveSeeds(folder(corpus, "archive"));
    return 0;
}
