#include "regexport.h"

#include <string>

#include <gtest/gtest.h>

#include "emptyhive.h"
#include "regfile.h"
#include "text/utf8.h"

namespace {

using mkwin::RegExportFormat;
using mkwin::RegistryTree;

std::string exportOf(const RegistryTree& tree, RegExportFormat format,
                     const std::string& codepage = "CP1252") {
    std::string error;
    const auto bytes =
        mkwin::regExport({{"HKEY_CURRENT_USER\\Software", &tree}}, format, codepage, error);
    EXPECT_TRUE(bytes) << error;
    return bytes.value_or("");
}

std::string read(vqrt::RegFile& reg, const char* key, const char* name) {
    char out[4096];
    return reg.readString("HKCU", key, name, out, sizeof out) == vqrt::kRegOk
               ? std::string(out)
               : std::string("<none>");
}

TEST(RegExport, Regedit4IsWhatRegeditWrites) {
    RegistryTree tree;
    tree.setString("Mirabilis\\ICQ", "", "default", "t");
    tree.setString("Mirabilis\\ICQ", "Path", "C:\\Program Files\\\"ICQ\"", "t");
    tree.setDword("Mirabilis\\ICQ", "Port", 5190, "t");
    tree.setExpandString("Mirabilis\\ICQ", "Temp", "%TEMP%", "t");
    tree.setRaw("Mirabilis\\ICQ", "Bin", mkwin::kHiveBinary, "\x01\xff", "t");
    tree.setString("Mirabilis\\ICQ", "Nick", "M\xC3\xA4rta", "t");
    tree.key("Mirabilis\\Empty");
    tree.setString("a", "first", "in regedit's order", "t");
    EXPECT_EQ(exportOf(tree, RegExportFormat::Regedit4),
              "REGEDIT4\r\n\r\n"
              "[HKEY_CURRENT_USER\\Software]\r\n\r\n"
              "[HKEY_CURRENT_USER\\Software\\a]\r\n"
              "\"first\"=\"in regedit's order\"\r\n\r\n"
              "[HKEY_CURRENT_USER\\Software\\Mirabilis]\r\n\r\n"
              "[HKEY_CURRENT_USER\\Software\\Mirabilis\\Empty]\r\n\r\n"
              "[HKEY_CURRENT_USER\\Software\\Mirabilis\\ICQ]\r\n"
              "@=\"default\"\r\n"
              "\"Path\"=\"C:\\\\Program Files\\\\\\\"ICQ\\\"\"\r\n"
              "\"Port\"=dword:00001446\r\n"
              "\"Temp\"=hex(2):25,54,45,4d,50,25,00\r\n"
              "\"Bin\"=hex:01,ff\r\n"
              "\"Nick\"=\"M\xE4rta\"\r\n\r\n");
}

TEST(RegExport, Version5IsUtf16WithByteOrderMark) {
    RegistryTree tree;
    tree.setString("K", "v", "x", "t");
    const std::string bytes = exportOf(tree, RegExportFormat::Version5);
    const std::string text = "Windows Registry Editor Version 5.00\r\n\r\n"
                             "[HKEY_CURRENT_USER\\Software]\r\n\r\n"
                             "[HKEY_CURRENT_USER\\Software\\K]\r\n\"v\"=\"x\"\r\n\r\n";
    EXPECT_EQ(bytes, "\xFF\xFE" + text::utf8ToUtf16le(text));
}

class RoundTrip : public ::testing::TestWithParam<RegExportFormat> {};

// What the host reads back is what was set, whatever had to be written as hex.
TEST_P(RoundTrip, HostReadsBackEveryValue) {
    RegistryTree tree;
    const std::string longText(300, 'w');
    tree.setString("K", "Multi", "line one\r\nline two", "t");
    tree.setExpandString("K", "Expand", "%SystemRoot%\\M\xC3\xA4rta", "t");
    tree.setString("K", "Long", longText, "t");
    tree.setRaw("K", "Blob", mkwin::kHiveBinary, std::string(200, '\x5a'), "t");
    tree.setString("K\\\xC3\x9C"
                   "ber",
                   "\xC3\xA4",
                   "Gr\xC3\xBC\xC3\x9F"
                   "e",
                   "t");
    const std::string bytes = exportOf(tree, GetParam());
    std::string error;
    auto reg = vqrt::RegFile::parse(bytes, "test.reg", "CP1252", error);
    ASSERT_TRUE(reg) << error;
    EXPECT_TRUE(reg->warnings().empty()) << reg->warnings().front();
    EXPECT_EQ(read(*reg, "Software\\K", "Multi"), "line one\r\nline two");
    EXPECT_EQ(read(*reg, "Software\\K", "Expand"), "%SystemRoot%\\M\xC3\xA4rta");
    EXPECT_EQ(read(*reg, "Software\\K", "Long"), longText);
    EXPECT_EQ(read(*reg,
                   "Software\\K\\\xC3\x9C"
                   "ber",
                   "\xC3\xA4"),
              "Gr\xC3\xBC\xC3\x9F"
              "e");
    // regedit keeps hex data within 80 columns, continued on indented lines.
    if (GetParam() == RegExportFormat::Regedit4) {
        size_t start = bytes.find("\"Blob\"=hex:5a,5a,");
        ASSERT_NE(start, std::string::npos);
        int continued = 0;
        while (true) {
            const size_t end = bytes.find("\r\n", start);
            EXPECT_LE(end - start, 80u) << bytes.substr(start, end - start);
            if (bytes[end - 1] != '\\') {
                break;
            }
            ++continued;
            start = end + 2;
            EXPECT_EQ(bytes.substr(start, 2), "  ");
        }
        EXPECT_GE(continued, 2);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTrip,
                         ::testing::Values(RegExportFormat::Regedit4, RegExportFormat::Version5));

TEST(RegExport, Regedit4RefusesTextsOutsideTheCodePageNamingTheirOrigin) {
    RegistryTree tree;
    tree.setString("K", "v", "\xD0\x94", "icq.owners[0].sounds.ICQChat");
    std::string error;
    EXPECT_FALSE(mkwin::regExport({{"HKEY_CURRENT_USER", &tree}}, RegExportFormat::Regedit4,
                                  "CP1252", error));
    EXPECT_EQ(error,
              "icq.owners[0].sounds.ICQChat: U+0414 \"\xD0\x94\" cannot be written in CP1252");
    EXPECT_TRUE(mkwin::regExport({{"HKEY_CURRENT_USER", &tree}}, RegExportFormat::Regedit4,
                                 "CP1251", error));
}

} // namespace
