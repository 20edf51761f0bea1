#include "ini/inireader.h"
#include "ini/initext.h"
#include "ini/ownership.h"
#include "ini/regularfile.h"

#include <algorithm>
#include <cstdarg>

namespace {

/// Keys before the first header belong to this section; a save writes no header for it.
constexpr const char* kDummySection = "Tolvane Dummy Section";

/// Read and write pieces: a line buffer of 200 characters read with a size of 199.
constexpr int kLineBuffer = 200;
constexpr int kLineRead = 199;

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

char firstNonSpace(const char* text) {
    while (*text == ' ') {
        ++text;
    }
    return *text;
}

/// Copies `count` bytes of `text` into `buffer`, cut to `length`; the caller cleared it.
void copyCut(char* buffer, int length, const char* text, std::size_t count) {
    if (buffer != nullptr && length > 0) {
        std::memcpy(buffer, text, std::min(count, static_cast<std::size_t>(length)));
    }
}

void clearField(char* buffer, int length) {
    if (buffer != nullptr && length > 0) {
        std::memset(buffer, 0, static_cast<std::size_t>(length));
    }
}

/// Formats one piece of the saved text and writes it with its length, without a terminator.
__attribute__((format(printf, 2, 3))) void writePiece(FILE* file, const char* format, ...) {
    char piece[kLineBuffer];
    va_list args;
    va_start(args, format);
    const int formatted = std::vsnprintf(piece, sizeof piece, format, args);
    va_end(args);
    if (formatted > 0) {
        std::fwrite(piece, 1, std::min<std::size_t>(formatted, sizeof piece - 1), file);
    }
}

} // namespace

bool CIniReader::ReadLine(FILE* file, char* buffer, int size) {
    // Below two bytes fgets could read nothing yet succeed, and a loader would never end.
    if (file == nullptr || buffer == nullptr || size < 2 || std::feof(file)) {
        return false;
    }
    std::memset(buffer, 0, static_cast<std::size_t>(size));
    return std::fgets(buffer, size, file) != nullptr;
}

bool CIniReader::IsSection(const char* line) const {
    return line != nullptr && firstNonSpace(line) == '[';
}

char* CIniReader::CleanString(const char* text) {
    const char* from = text != nullptr ? text : "";
    char* result = new char[std::strlen(from) + 1]();
    while (*from == ' ') {
        ++from;
    }
    std::size_t used = 0;
    for (; *from != '\0'; ++from) {
        // A run of spaces keeps its last space; newlines go wherever they stand.
        if (*from == '\n' || (*from == ' ' && from[1] == ' ')) {
            continue;
        }
        result[used++] = *from;
    }
    if (used > 0 && result[used - 1] == ' ') {
        result[used - 1] = '\0';
    }
    return result;
}

char* CIniReader::GetSection(char* line) {
    if (line == nullptr) {
        return nullptr;
    }
    const std::unique_ptr<char[]> cleaned(CleanString(line));
    const char* start = cleaned.get();
    if (*start == '[') {
        ++start;
    }
    if (*start == ' ') {
        ++start;
    }
    // A header whose "]" is missing (or lies in the next piece of an over-long line) is
    // closed by the end of its line, so the name is never lost and never overruns.
    const char* end = std::strchr(start, ']');
    if (end == nullptr) {
        end = start + std::strlen(start);
    }
    if (end > start && end[-1] == ' ') {
        --end;
    }
    // The name is never longer than the line, so it fits where the line was.
    std::memset(line, 0, std::strlen(line));
    std::memcpy(line, start, static_cast<std::size_t>(end - start));
    return line;
}

bool CIniReader::ParseLine(const char* line, char* key, int keyLength, char* value,
                           int valueLength) {
    if (line == nullptr) {
        return false;
    }
    const std::unique_ptr<char[]> cleaned(CleanString(line));
    const char* text = cleaned.get();
    if (firstNonSpace(line) == ';' || *text == '\0') {
        return false;
    }
    clearField(key, keyLength);
    clearField(value, valueLength);
    const char* equals = std::strchr(text, '=');
    if (equals == nullptr) {
        copyCut(key, keyLength, text, std::strlen(text));
        return true;
    }
    const char* keyEnd = equals;
    if (keyEnd > text && keyEnd[-1] == ' ') {
        --keyEnd;
    }
    copyCut(key, keyLength, text, static_cast<std::size_t>(keyEnd - text));
    const char* valueStart = equals + 1;
    if (*valueStart == ' ') {
        ++valueStart;
    }
    copyCut(value, valueLength, valueStart, std::strlen(valueStart));
    return true;
}

bool CIniReader::LoadFromFile(const char* path) {
    if (path == nullptr) {
        return false;
    }
    const StdioFile file = openRegularFile(path);
    if (!file) {
        return false;
    }
    AddSection(kDummySection);
    // Keys attach by the header's name as stored (at most 79 characters), so they land in
    // the first section of that name.
    char current[initext::kFieldSize];
    initext::storeText(current, kDummySection);
    char line[kLineBuffer] = {};
    char key[initext::kFieldSize] = {};
    char value[initext::kFieldSize] = {};
    while (ReadLine(file.get(), line, kLineRead)) {
        if (line[0] == '\0' || std::strcmp(line, "\n") == 0) {
            continue;
        }
        if (IsSection(line)) {
            initext::storeText(current, GetSection(line));
            AddSection(line);
        } else if (ParseLine(line, key, initext::kTextMax, value, initext::kTextMax)) {
            AddKey(current, key, value);
        } else {
            // Comments and lines of spaces stay as keys so that a save writes them back.
            const std::unique_ptr<char[]> cleaned(CleanString(line));
            AddKey(current, cleaned.get(), "");
        }
    }
    return true;
}

bool CIniReader::SaveToFile(const char* path) {
    if (path == nullptr) {
        return false;
    }
    FilePtr file(std::fopen(path, "w+t"));
    if (!file) {
        return false;
    }
    char sectionName[initext::kFieldSize];
    char keyName[initext::kFieldSize];
    char keyValue[initext::kFieldSize];
    // The count comes through the virtual interface; an override answering more sections
    // than exist must not read past the list.
    const int count = GetSectionsCount();
    for (int index = 0; index < count && static_cast<std::size_t>(index) < sections.size();
         ++index) {
        const CIniSection& section = *sections[static_cast<std::size_t>(index)];
        section.GetSectionName(sectionName, sizeof sectionName);
        if (std::strcmp(sectionName, kDummySection) != 0) {
            writePiece(file.get(), "\n[%s]\n", sectionName);
        }
        for (unsigned long k = 0; k < static_cast<unsigned long>(section.GetKeysCount()); ++k) {
            section.GetKeyName(k, keyName, sizeof keyName);
            if (firstNonSpace(keyName) == ';') {
                writePiece(file.get(), "%s\n", keyName);
            } else {
                section.GetKeyVal(k, keyValue, sizeof keyValue);
                writePiece(file.get(), "%s=%s\n", keyName, keyValue);
            }
        }
    }
    file.reset();
    handOverOwnership(path);
    return true;
}
