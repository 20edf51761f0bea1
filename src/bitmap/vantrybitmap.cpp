#include "bitmap/vantrybitmap.h"

#include "ini/ownership.h"
#include "ini/regularfile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <sys/stat.h>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

[[noreturn]] void abandonLoad() {
    throw CVantryBitmap::CExceptionHandler();
}

/// Storage for a load; running out of memory abandons the load like any other failure.
template <typename T> std::unique_ptr<T[]> loadStorage(std::size_t count) {
    try {
        return std::make_unique<T[]>(count);
    } catch (const std::bad_alloc&) {
        abandonLoad();
    }
}

/// One number as "%d" reads it (white space, sign, digits), kept only when it lies in
/// [1, limit]; a number too long for any integer is refused rather than wrapped.
bool readCount(const char*& text, int limit, int& value) {
    char* end = nullptr;
    errno = 0;
    const long long number = std::strtoll(text, &end, 10);
    if (end == text || errno == ERANGE || number < 1 || number > limit) {
        return false;
    }
    text = end;
    value = static_cast<int>(number);
    return true;
}

/// Whether the pixel at `pos` of a row of `rowLength` characters is whole and carries the
/// first `charsPerPixel` characters of `code`. A pixel cut off by the row's end never does.
bool pixelHasCode(const char* row, std::size_t rowLength, std::size_t pos, const char* code,
                  std::size_t codeLength, std::size_t charsPerPixel) {
    return codeLength >= charsPerPixel && pos + charsPerPixel <= rowLength &&
           std::memcmp(row + pos, code, charsPerPixel) == 0;
}

} // namespace

CVantryBitmap::CVantryBitmap() = default;

// The own storage goes with its owning members; an adopted array was never ours.
CVantryBitmap::~CVantryBitmap() = default;

bool CVantryBitmap::ParseHeader(const char* line, Header& header) {
    if (line == nullptr) {
        return false;
    }
    const char* text = line;
    return readCount(text, kMaxSide, header.width) && readCount(text, kMaxSide, header.height) &&
           readCount(text, kMaxColours, header.colours) &&
           readCount(text, static_cast<int>(kCodeSize), header.charsPerPixel);
}

unsigned int CVantryBitmap::CountLines(const char* const* xpm, Header& header) {
    if (xpm == nullptr || !ParseHeader(xpm[0], header)) {
        return 0;
    }
    const unsigned int lines = header.lines();
    for (unsigned int i = 1; i < lines; ++i) {
        if (xpm[i] == nullptr) {
            return 0;
        }
    }
    return lines;
}

bool CVantryBitmap::Copy(void* xpm) {
    if (xpm == nullptr) {
        return false;
    }
    const auto* source = static_cast<const char* const*>(xpm);
    Header header;
    if (CountLines(source, header) == 0) {
        return false;
    }
    Empty();
    try {
        unsigned int lines = 0;
        unsigned int bytes = 0;
        CollectXpmInfo(source, &lines, &bytes);
        if (lines == 0) {
            return false;
        }
        auto pointers = std::make_unique<const char*[]>(lines);
        auto text = std::make_unique<char[]>(bytes);
        std::size_t used = 0;
        for (unsigned int i = 0; i < lines; ++i) {
            const std::size_t length = std::strlen(source[i]);
            std::memcpy(text.get() + used, source[i], length + 1);
            pointers[i] = text.get() + used;
            used += length + 1;
        }
        ownLines = std::move(pointers);
        ownText = std::move(text);
    } catch (const std::bad_alloc&) {
        Empty();
        return false;
    }
    xpmData = ownLines.get();
    ownsData = true;
    return true;
}

bool CVantryBitmap::LoadFromResources(const char* const* xpm) {
    if (xpm == nullptr) {
        return false;
    }
    Empty();
    xpmData = xpm;
    fromResources = true;
    return true;
}

bool CVantryBitmap::LoadBitmap(const char* path) {
    Empty();
    try {
        Load(path);
    } catch (const CExceptionHandler&) {
        Empty();
        return false;
    }
    return true;
}

void CVantryBitmap::Load(const char* path) {
    if (path == nullptr) {
        abandonLoad();
    }
    const StdioFile file = openRegularFile(path);
    struct stat info {};
    if (!file || fstat(fileno(file.get()), &info) != 0 || info.st_size < 0) {
        abandonLoad();
    }
    const auto fileSize = static_cast<std::uint64_t>(info.st_size);

    char piece[kFileLineSize];
    do {
        if (std::fgets(piece, sizeof piece, file.get()) == nullptr) {
            abandonLoad();
        }
    } while (piece[0] != '"');
    StripQuotes(piece);
    Header header;
    if (!ParseHeader(piece, header)) {
        abandonLoad();
    }
    const unsigned int lines = header.lines();
    // Every line takes at least one byte of the file: a file too small ends early anyway.
    if (lines > fileSize) {
        abandonLoad();
    }
    // A stored text is at most one piece and its terminator, and never longer than the bytes
    // the piece took from the file plus that terminator.
    const std::size_t capacity = static_cast<std::size_t>(
        std::min<std::uint64_t>(fileSize + lines, std::uint64_t{lines} * kFileLineSize));
    auto pointers = loadStorage<const char*>(lines);
    auto text = loadStorage<char>(capacity);

    std::size_t used = 0;
    for (unsigned int i = 0; i < lines; ++i) {
        if (i > 0) {
            if (std::fgets(piece, sizeof piece, file.get()) == nullptr) {
                abandonLoad();
            }
            StripQuotes(piece);
        }
        const std::size_t length = std::strlen(piece);
        if (length + 1 > capacity - used) {
            abandonLoad(); // the file grew while it was read
        }
        std::memcpy(text.get() + used, piece, length + 1);
        pointers[i] = text.get() + used;
        used += length + 1;
    }
    ownLines = std::move(pointers);
    ownText = std::move(text);
    xpmData = ownLines.get();
    ownsData = true;
}

bool CVantryBitmap::SaveBitmap(const char* path) {
    if (xpmData == nullptr || path == nullptr) {
        return false;
    }
    Header header;
    const unsigned int lines = CountLines(xpmData, header);
    if (lines == 0) {
        return false;
    }
    File file(std::fopen(path, "wt"));
    if (!file) {
        return false;
    }
    const char* slash = std::strrchr(path, '/');
    std::string name = slash != nullptr ? slash + 1 : path;
    std::replace(name.begin(), name.end(), '.', '_');

    std::fputs("/* XPM */\n", file.get());
    std::fprintf(file.get(), "char* %s[]={\n", name.c_str());
    for (unsigned int i = 0; i + 1 < lines; ++i) {
        std::fprintf(file.get(), "\"%s\",\n", xpmData[i]);
    }
    std::fprintf(file.get(), "\"%s\"};", xpmData[lines - 1]);
    file.reset();
    handOverOwnership(path);
    return true;
}

void CVantryBitmap::CleanUp() {
    if (fromResources || !ownsData) {
        return;
    }
    mask.reset();
    maskSize = 0;
    ownText.reset();
    ownLines.reset();
    xpmData = nullptr;
    ownsData = false;
}

void CVantryBitmap::Empty() {
    CleanUp();
    mask.reset();
    maskSize = 0;
    xpmData = nullptr;
    fromResources = false;
}

int CVantryBitmap::bmpstricmp(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) {
        return a == b ? 0 : 1;
    }
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) !=
            std::tolower(static_cast<unsigned char>(*b))) {
            return 1;
        }
    }
    return *a == *b ? 0 : 1;
}

bool CVantryBitmap::IsNoneDefined(const char* colourLine, char* code) {
    if (code == nullptr) {
        return false;
    }
    code[0] = '\0';
    if (colourLine == nullptr) {
        return false;
    }
    const char* p = colourLine;
    while (*p == ' ') {
        ++p;
    }
    unsigned int length = 0;
    for (; *p != '\0' && *p != ' '; ++p) {
        if (length < kCodeSize) {
            code[length++] = *p;
        }
    }
    code[length] = '\0';
    while (*p == ' ' || *p == 'c') {
        ++p;
    }
    return bmpstricmp(p, "None") == 0;
}

bool CVantryBitmap::IsNoneUsed(const char* row, const char* code, unsigned int charsPerPixel) {
    if (row == nullptr || code == nullptr || charsPerPixel == 0) {
        return false;
    }
    const std::size_t rowLength = std::strlen(row);
    const std::size_t codeLength = std::strlen(code);
    for (std::size_t pos = 0; pos < rowLength; pos += charsPerPixel) {
        if (pixelHasCode(row, rowLength, pos, code, codeLength, charsPerPixel)) {
            return true;
        }
    }
    return false;
}

void CVantryBitmap::CollectXpmInfo(const char* const* xpm, unsigned int* lineCount,
                                   unsigned int* byteCount) {
    if (lineCount == nullptr || byteCount == nullptr) {
        return;
    }
    Header header;
    const unsigned int lines = CountLines(xpm, header);
    *lineCount = 0;
    if (lines == 0) {
        return;
    }
    std::uint64_t bytes = *byteCount;
    for (unsigned int i = 0; i < lines; ++i) {
        bytes += std::strlen(xpm[i]) + 1;
    }
    if (bytes > UINT_MAX) {
        return;
    }

    const char* const* colourLines = xpm + 1;
    const char* const* rows = colourLines + header.colours;
    char code[kCodeSize + 1] = {};
    bool noneDefined = false;
    for (int i = 0; i < header.colours && !noneDefined; ++i) {
        noneDefined = IsNoneDefined(colourLines[i], code);
    }
    bool noneUsed = false;
    for (int i = 0; i < header.height && noneDefined && !noneUsed; ++i) {
        noneUsed = IsNoneUsed(rows[i], code, static_cast<unsigned int>(header.charsPerPixel));
    }
    if (noneUsed) {
        BuildMask(rows, header, code);
    }
    *lineCount = lines;
    *byteCount = static_cast<unsigned int>(bytes);
}

void CVantryBitmap::BuildMask(const char* const* rows, const Header& header, const char* code) {
    const auto width = static_cast<std::size_t>(header.width);
    const auto height = static_cast<std::size_t>(header.height);
    const auto charsPerPixel = static_cast<std::size_t>(header.charsPerPixel);
    const std::size_t codeLength = std::strlen(code);
    const std::size_t bytes = (width * height + 7) / 8;
    std::unique_ptr<unsigned char[]> bits;
    try {
        bits = std::make_unique<unsigned char[]>(bytes);
    } catch (const std::bad_alloc&) {
        return; // an image without a mask is still an image
    }
    unsigned int index = 0;
    for (std::size_t y = 0; y < height; ++y) {
        const std::size_t rowLength = std::strlen(rows[y]);
        for (std::size_t x = 0; x < width; ++x) {
            const bool transparent = pixelHasCode(rows[y], rowLength, x * charsPerPixel, code,
                                                  codeLength, charsPerPixel);
            SetBit(bits.get(), index++, !transparent);
        }
    }
    mask = std::move(bits);
    maskSize = bytes;
}

void CVantryBitmap::SetBit(unsigned char* bits, unsigned int index, bool value) {
    const auto bit = static_cast<unsigned char>(0x80u >> (index % 8));
    if (value) {
        bits[index / 8] |= bit;
    } else {
        bits[index / 8] &= static_cast<unsigned char>(~bit);
    }
}

void CVantryBitmap::StripQuotes(char* text) {
    if (text == nullptr) {
        return;
    }
    const char* open = std::strchr(text, '"');
    if (open == nullptr) {
        return;
    }
    const char* start = open + 1;
    const char* close = std::strchr(start, '"');
    const std::size_t length =
        close != nullptr ? static_cast<std::size_t>(close - start) : std::strlen(start);
    std::memmove(text, start, length);
    text[length] = '\0';
}
