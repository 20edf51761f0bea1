#include "win9xhive.h"

#include <cstdio>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "support/process.h"
#include "support/tempdir.h"

namespace {

using testsupport::TempDir;
// Key path -> value name -> the value's bytes in hex as libcreg's cregexport dumps them, or
// the number it prints for a DWORD.
using Keys = std::map<std::string, std::map<std::string, std::string>>;

std::string hexOf(const std::string& bytes) {
    std::string out;
    for (const unsigned char c : bytes) {
        char two[4];
        std::snprintf(two, sizeof two, "%02x", c);
        out += two;
    }
    return out;
}

// What cregexport, an independent reader of these files, finds in `path`; what it said
// on standard error, and its exit status, in `errors`.
Keys exported(const std::string& path, std::string& errors) {
    const testsupport::ProcessResult run = testsupport::runProcess({"/usr/bin/cregexport", path});
    errors = run.err + "exit status " + std::to_string(run.status);
    const std::regex keyLine("Key path: (.*)");
    const std::regex valueLine("Value: [0-9]+ (.*)");
    const std::regex numberLine("Data: ([0-9]+)");
    const std::regex dumpLine("[0-9a-f]{8}: ((?:[0-9a-f]{2} {1,2})+).*");
    Keys keys;
    std::string key;
    std::string value;
    bool number = false;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_match(line, m, keyLine)) {
            key = m[1];
            keys[key];
        } else if (std::regex_match(line, m, valueLine)) {
            value = m[1];
            keys[key][value];
        } else if (line.rfind("Type: ", 0) == 0) {
            number = line.find("(REG_DWORD") != std::string::npos;
        } else if (number && std::regex_match(line, m, numberLine)) {
            keys[key][value] = m[1];
        } else if (std::regex_match(line, m, dumpLine)) {
            keys[key][value] += std::regex_replace(m[1].str(), std::regex(" "), "");
        }
    }
    return keys;
}

// The files tolvane-mkwin writes for Windows 98, which the registry reader's tests read, are
// read the same by libcreg: a check of the format that does not come from this code.
TEST(Win9xHive, AnIndependentReaderFindsEveryKeyAndValue) {
    mkwin::RegistryTree tree;
    Keys expected;
    expected[""];
    const auto key = [&](const std::string& path) {
        tree.key(path);
        for (size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1)) {
            expected[path.substr(0, at)];
        }
        expected[path];
    };
    key("Software\\Mirabilis\\ICQ\\Owners\\0023456789");
    tree.setString("Software\\Mirabilis\\ICQ\\Owners\\0023456789", "Nick", "R\xC3\xB6ver");
    expected["Software\\Mirabilis\\ICQ\\Owners\\0023456789"]["Nick"] = hexOf("R\xF6ver") + "00";
    tree.setDword("Software\\Mirabilis\\ICQ\\DefaultPrefs", "ICQ Version", 2000);
    expected["Software\\Mirabilis\\ICQ\\DefaultPrefs"]["ICQ Version"] = "2000";
    tree.setRaw("Software\\Mirabilis\\ICQ", "Blob", 3, std::string("\x01\x00\xFF", 3));
    expected["Software\\Mirabilis\\ICQ"]["Blob"] = "0100ff";
    // Enough keys for records in many data blocks and a key area of two pages whose last key
    // ends 12 bytes short of the second page's end.
    for (int i = 0; i < 283; ++i) {
        const std::string path = "Control Panel\\Key " + std::to_string(i);
        key(path);
        tree.setString(path, "Name", std::string(static_cast<size_t>(i), 'x'));
        expected[path]["Name"] = hexOf(std::string(static_cast<size_t>(i), 'x')) + "00";
    }
    std::string error;
    TempDir dir;
    testsupport::writeFile(dir.file("USER.DAT"),
                           mkwin::win9xRegistryFile(tree, "CP1252", error, 512).value());

    std::string errors;
    const Keys found = exported(dir.file("USER.DAT"), errors);
    EXPECT_EQ(errors, "exit status 0");
    EXPECT_EQ(found.size(), expected.size());
    for (const auto& [path, values] : expected) {
        const auto it = found.find(path);
        EXPECT_EQ(it == found.end() ? "missing" : "found", std::string("found")) << path;
        if (it != found.end()) {
            EXPECT_EQ(it->second, values) << path;
        }
    }
}

} // namespace
