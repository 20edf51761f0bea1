// The XPM loader over a picture file from disk: load, save, load what was saved; and the same
// lines handed over as a line array, the way built-in pictures are copied.

#include <cstring>
#include <string>
#include <vector>

#include "bitmap/vantrybitmap.h"
#include "fuzzsupport.h"

namespace {

/// The input's lines from the first one with a double quote (an XPM source's header), each
/// without its quotes; all lines when none has one.
std::vector<std::string> xpmLines(std::string_view text) {
    std::vector<std::string> lines;
    bool started = text.find('"') == std::string_view::npos;
    for (size_t start = 0, end = 0; start <= text.size(); start = end + 1) {
        end = std::min(text.find('\n', start), text.size());
        std::string line(text.substr(start, end - start));
        if (line.find('"') != std::string::npos) {
            started = true;
            line.push_back('\0');
            CVantryBitmap::StripQuotes(line.data());
            line.resize(std::strlen(line.c_str()));
        }
        if (started) {
            lines.push_back(std::move(line));
        }
    }
    return lines;
}

/// A saved picture is read back line for line when each line fits one read of the loader
/// with its quotes, comma and line end (75 characters) and holds no line end of its own.
void checkSavedReadsBack(CVantryBitmap& bitmap, const std::string& path) {
    const char* const* lines = bitmap.GetBitmap();
    unsigned int count = 0;
    unsigned int bytes = 0;
    CVantryBitmap().CollectXpmInfo(lines, &count, &bytes);
    for (unsigned int i = 0; i < count; ++i) {
        if (std::strlen(lines[i]) > 75 || std::strchr(lines[i], '\n') != nullptr) {
            return;
        }
    }
    CVantryBitmap reloaded;
    if (count == 0 || !bitmap.SaveBitmap(path.c_str()) || !reloaded.LoadBitmap(path.c_str())) {
        fuzzsupport::fail("a picture of " + std::to_string(count) + " lines was not read back");
    }
    for (unsigned int i = 0; i < count; ++i) {
        if (std::strcmp(reloaded.GetBitmap()[i], lines[i]) != 0) {
            fuzzsupport::fail("line " + std::to_string(i) + " \"" + lines[i] +
                              "\" was read back as \"" + reloaded.GetBitmap()[i] + "\"");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string input = fuzzsupport::scratchFile("picture.xpm");
    static const std::string saved = fuzzsupport::scratchFile("saved.xpm");
    const std::string_view text = fuzzsupport::asText(data, size);
    fuzzsupport::writeBytes(input, text);

    CVantryBitmap loaded;
    if (loaded.LoadBitmap(input.c_str())) {
        if (loaded.GetBitmap() == nullptr || loaded.GetMask() != nullptr ||
            !loaded.SaveBitmap(saved.c_str())) {
            fuzzsupport::fail("a loaded picture has no lines, has a mask or cannot be saved");
        }
        checkSavedReadsBack(loaded, saved);
    } else if (loaded.GetBitmap() != nullptr) {
        fuzzsupport::fail("a failed load left lines behind");
    }

    // A line array ends with a null entry, so a short one is seen as such.
    const std::vector<std::string> lines = xpmLines(text);
    std::vector<const char*> array;
    for (const std::string& line : lines) {
        array.push_back(line.c_str());
    }
    array.push_back(nullptr);
    CVantryBitmap copied;
    if (copied.Copy(array.data())) {
        unsigned int lineCount = 0;
        unsigned int byteCount = 0;
        copied.CollectXpmInfo(copied.GetBitmap(), &lineCount, &byteCount);
        if ((copied.GetMask() == nullptr) != (copied.GetMaskSize() == 0) || lineCount == 0 ||
            lineCount > lines.size()) {
            fuzzsupport::fail("a copy of " + std::to_string(lines.size()) + " lines counts " +
                              std::to_string(lineCount) + ", or its mask and mask size disagree");
        }
        checkSavedReadsBack(copied, saved);
    } else if (copied.GetBitmap() != nullptr) {
        fuzzsupport::fail("a refused copy left lines behind");
    }
    CVantryBitmap adopted;
    adopted.LoadFromResources(array.data());
    adopted.SaveBitmap(saved.c_str());
    return 0;
}
