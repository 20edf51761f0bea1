#pragma once

#include <cstddef>
#include <memory>

/// One image held as XPM text lines: a header "width height colours chars-per-pixel", one
/// line per colour and one line per pixel row.
///
/// A line array handed to `Copy`, `CollectXpmInfo` or `LoadFromResources` must hold at least
/// the height + colours + 1 lines its header announces; a null entry among them is taken as
/// the end of a too short array, any other shortfall cannot be seen. Headers whose numbers
/// are missing, not positive or larger than `kMaxSide`, `kMaxColours` and `kCodeSize` are
/// refused by `Copy`, `CollectXpmInfo`, `LoadBitmap` and `SaveBitmap`.
class CVantryBitmap {
public:
    /// Thrown by a failing load and caught by `LoadBitmap` itself; never leaves it.
    class CExceptionHandler {};

    /// Characters a pixel code may have: the size of the code buffer, less its terminator.
    static constexpr unsigned int kCodeSize = 17;
    /// Largest width and largest height accepted.
    static constexpr int kMaxSide = 32768;
    /// Largest number of colours accepted.
    static constexpr int kMaxColours = 1 << 20;
    /// Characters read from a file at a time by `LoadBitmap`, terminator included.
    static constexpr int kFileLineSize = 80;

    /// An empty bitmap.
    CVantryBitmap();
    /// Releases what the bitmap built; an adopted array stays untouched.
    virtual ~CVantryBitmap();
    CVantryBitmap(const CVantryBitmap&) = delete;
    CVantryBitmap& operator=(const CVantryBitmap&) = delete;

    /// Copies the line array `xpm` (a `const char* const*`) into storage of the bitmap's own
    /// and derives the transparency mask; false for null or a refused header, nothing changed.
    bool Copy(void* xpm);
    /// The current line array, or null when the bitmap is empty.
    const char* const* GetBitmap() const { return xpmData; }
    /// Adopts `xpm` without copying; the caller keeps it alive and it is never released here.
    bool LoadFromResources(const char* const* xpm);
    /// Reads an XPM file; false, with the bitmap empty, when it cannot be read whole.
    bool LoadBitmap(const char* path);
    /// Writes the line array as an XPM file; false without an image or when the file cannot
    /// be opened.
    bool SaveBitmap(const char* path);
    /// Releases the line array and the mask when the bitmap built them itself.
    void CleanUp();

    /// The transparency mask (bit set: opaque) that `Copy` makes for an image using "None";
    /// null otherwise, and always after `LoadBitmap` or `LoadFromResources`.
    const unsigned char* GetMask() const { return mask.get(); }
    /// Bytes in the mask: width x height bits, rounded up.
    std::size_t GetMaskSize() const { return maskSize; }

    /// 0 when both texts have the same length and equal characters regardless of case, else 1.
    static int bmpstricmp(const char* a, const char* b);
    /// Whether `colourLine` defines "None"; its pixel code goes to `code`, which holds
    /// `kCodeSize` + 1 characters (a longer code is cut). Only spaces separate the parts.
    static bool IsNoneDefined(const char* colourLine, char* code);
    /// Whether some whole pixel of `row` carries the first `charsPerPixel` characters of `code`.
    static bool IsNoneUsed(const char* row, const char* code, unsigned int charsPerPixel);
    /// Stores the line count of `xpm` in `lineCount`, adds each line's length + 1 to
    /// `byteCount` and builds the mask when "None" is defined and used. A refused header
    /// stores 0 and changes nothing else.
    void CollectXpmInfo(const char* const* xpm, unsigned int* lineCount, unsigned int* byteCount);
    /// Sets or clears bit `index` of `bits`, the first bit being the top bit of byte 0.
    static void SetBit(unsigned char* bits, unsigned int index, bool value);
    /// Keeps what lies between the first double quote and the next one (or the end).
    static void StripQuotes(char* text);

private:
    /// The four header numbers, checked.
    struct Header {
        int width = 0;
        int height = 0;
        int colours = 0;
        int charsPerPixel = 0;
        unsigned int lines() const {
            return static_cast<unsigned int>(height) + static_cast<unsigned int>(colours) + 1;
        }
    };
    static bool ParseHeader(const char* line, Header& header);
    /// The line count of `xpm`, or 0 for a refused header or a null line among the counted.
    static unsigned int CountLines(const char* const* xpm, Header& header);
    void BuildMask(const char* const* rows, const Header& header, const char* code);
    /// The body of `LoadBitmap`: fills the own storage or throws `CExceptionHandler`.
    void Load(const char* path);
    /// Forgets everything, own storage and adopted array alike.
    void Empty();

    bool ownsData = false;
    bool fromResources = false;
    const char* const* xpmData = nullptr;
    std::unique_ptr<unsigned char[]> mask;
    std::size_t maskSize = 0;
    // Own storage: the pointer array and the one block holding every line text.
    std::unique_ptr<const char*[]> ownLines;
    std::unique_ptr<char[]> ownText;
};
