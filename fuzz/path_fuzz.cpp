// Path conversion of Windows paths read from a hostile disk over a small fixed installation
// whose links point inside, outside, nowhere and at themselves: an answer is empty or stays
// below the root of its drive, even after every link on its way is followed.

#include "fuzzsupport.h"
#include "pathconverter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <optional>

namespace {

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};

std::optional<std::string> realPath(const std::string& path) {
    const std::unique_ptr<char, FreeDeleter> real(realpath(path.c_str(), nullptr));
    if (!real) {
        return std::nullopt;
    }
    return std::string(real.get());
}

void makeDir(const std::string& path) {
    if (mkdir(path.c_str(), 0755) != 0) {
        fuzzsupport::fail("cannot create " + path);
    }
}

void makeLink(const std::string& target, const std::string& path) {
    if (symlink(target.c_str(), path.c_str()) != 0) {
        fuzzsupport::fail("cannot create the link " + path);
    }
}

/// Drive C: and D: of a Windows installation, and a folder beside them that no answer may
/// reach.
class Tree {
public:
    Tree() : c(dir.file("c")), d(dir.file("d")), converter(c, {{'d', d}}) {
        for (const char* folder :
             {"c", "c/WINDOWS", "c/WINDOWS/System32", "c/WINDOWS/System32/config",
              "c/Program Files", "c/Program Files/ICQ", "c/Program Files/ICQ/Sounds",
              "c/Program Files/ICQ/uin", "c/Documents and Settings",
              "c/Documents and Settings/User", "d", "d/Data", "outside"}) {
            makeDir(dir.file(folder));
        }
        for (const char* file :
             {"c/WINDOWS/System32/config/SOFTWARE", "c/Program Files/ICQ/ICQ.exe",
              "c/Program Files/ICQ/Sounds/Msg.wav", "c/Program Files/ICQ/uin/12345678.uin",
              "c/Documents and Settings/User/NTUSER.DAT", "d/Data/notes.txt", "outside/secret"}) {
            fuzzsupport::writeBytes(dir.file(file), "");
        }
        makeLink("../outside", dir.file("c/Link"));
        makeLink("..", dir.file("c/Up"));
        makeLink(".", dir.file("c/Self"));
        makeLink("Loop", dir.file("c/Loop"));
        makeLink("Program Files/ICQ", dir.file("c/Inside"));
        makeLink("/", dir.file("c/Program Files/Abs"));
        makeLink("../outside/missing", dir.file("c/Dangle"));
        makeLink("../c", dir.file("d/Back"));
        realC = realPath(c).value_or(c);
        realD = realPath(d).value_or(d);
    }

    fuzzsupport::ScratchDir dir;
    std::string c;
    std::string d;
    std::string realC;
    std::string realD;
    vqrt::PathConverter converter;
};

bool below(const std::string& path, const std::string& root) {
    return path == root || path.compare(0, root.size() + 1, root + "/") == 0;
}

/// `answer` lies below `root` by its text, names no "." or ".." and, as far as it exists,
/// below the real `realRoot` after its links are followed.
void checkInside(const std::string& answer, const std::string& root, const std::string& realRoot,
                 const std::string& input) {
    std::string existing = root;
    bool exists = true;
    size_t start = root.size() + 1;
    while (start <= answer.size()) {
        size_t end = answer.find('/', start);
        if (end == std::string::npos) {
            end = answer.size();
        }
        const std::string component = answer.substr(start, end - start);
        start = end + 1;
        if (component.empty() || component == "." || component == ".." ||
            component.find('\0') != std::string::npos) {
            fuzzsupport::fail("\"" + input + "\" gave " + answer + " with a component \"" +
                              component + "\"");
        }
        struct stat st;
        const std::string next = existing + "/" + component;
        if (exists && lstat(next.c_str(), &st) == 0) {
            existing = next;
        } else {
            exists = false;
        }
    }
    const std::optional<std::string> real = realPath(existing);
    if (!real || !below(*real, realRoot)) {
        fuzzsupport::fail("\"" + input + "\" gave " + answer + ", which leads to " +
                          real.value_or("a dangling link or a loop"));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Tree tree;
    const std::string input(fuzzsupport::asText(data, size));
    std::string answer = "unset";
    tree.converter.convertPath(input, answer);
    if (answer.empty()) {
        return 0;
    }
    if (answer.size() > tree.c.size() && below(answer, tree.c)) {
        checkInside(answer, tree.c, tree.realC, input);
    } else if (answer.size() > tree.d.size() && below(answer, tree.d)) {
        checkInside(answer, tree.d, tree.realD, input);
    } else if (answer != tree.c && answer != tree.d) {
        fuzzsupport::fail("\"" + input + "\" gave " + answer + ", outside both drives");
    }
    return 0;
}
