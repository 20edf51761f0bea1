// Path conversion of Windows paths read from a hostile disk over a small installation whose
// links point inside, outside, nowhere and at themselves: an answer is empty or stays below
// the root of its drive, even after every link on its way is followed.

#include <filesystem>

#include "fuzzsupport.h"
#include "pathconverter.h"

namespace {

namespace fs = std::filesystem;
using fuzzsupport::scratchFile;

// Drives C: and D:, and a folder beside them that no answer may reach.
struct Tree {
    Tree() {
        for (const char* file :
             {"c/WINDOWS/System32/config/SOFTWARE", "c/Program Files/ICQ/Sounds/Msg.wav",
              "c/Program Files/ICQ/uin/12345678.uin", "d/Data/notes.txt", "outside/secret"}) {
            fs::create_directories(fs::path(scratchFile(file)).parent_path());
            fuzzsupport::writeBytes(scratchFile(file), "");
        }
        for (const auto& [target, link] : {std::pair{"../outside", "c/Link"},
                                           {"..", "c/Up"},
                                           {".", "c/Self"},
                                           {"Loop", "c/Loop"},
                                           {"Program Files/ICQ", "c/Inside"},
                                           {"/", "c/Program Files/Abs"},
                                           {"../outside/missing", "c/Dangle"},
                                           {"../c", "d/Back"}}) {
            fs::create_symlink(target, scratchFile(link));
        }
    }
    vqrt::PathConverter converter{scratchFile("c"), {{'d', scratchFile("d")}}};
};

// Fails unless `answer`, below `root` by its text, names no ".", ".." or empty component, and
// its part that exists leads below the root once its links are followed.
void checkInside(const std::string& answer, const fs::path& root) {
    fs::path existing = root;
    std::error_code ec;
    for (const fs::path& part : fs::path(answer.substr(root.native().size())).relative_path()) {
        if (part == "." || part == ".." || part.empty()) {
            fuzzsupport::fail(answer + " holds \"" + part.string() + "\"");
        }
        if (!fs::exists(fs::symlink_status(existing / part, ec))) {
            break;
        }
        existing /= part;
    }
    const std::string real = fs::canonical(existing, ec).native();
    const std::string realRoot = fs::canonical(root).native();
    if (ec || (real != realRoot && real.rfind(realRoot + "/", 0) != 0)) {
        fuzzsupport::fail(answer + " leads to " + (ec ? "a dangling link or a loop" : real));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Tree tree;
    const std::string input(fuzzsupport::asText(data, size));
    std::string answer = "unset";
    tree.converter.convertPath(input, answer);
    if (answer.find("//") != std::string::npos || answer.find('\0') != std::string::npos) {
        fuzzsupport::fail("\"" + input + "\" gave " + answer);
    }
    for (const std::string& root : {scratchFile("c"), scratchFile("d")}) {
        if (answer == root || answer.rfind(root + "/", 0) == 0) {
            checkInside(answer, root);
            return 0;
        }
    }
    if (!answer.empty()) {
        fuzzsupport::fail("\"" + input + "\" gave " + answer + ", outside both drives");
    }
    return 0;
}
