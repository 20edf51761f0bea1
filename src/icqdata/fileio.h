#pragma once

#include <fstream>
#include <memory>
#include <string>

/// One buffered file, opened for reading, writing or appending, read or written a byte or a
/// text at a time. No operation throws.
class CFileIO {
public:
    /// Creates the object without opening a file.
    CFileIO();
    /// Writes " in fileio destructor" to standard output and closes a file still open.
    virtual ~CFileIO();

    CFileIO(const CFileIO&) = delete;
    CFileIO& operator=(const CFileIO&) = delete;

    /// Opens `name`: mode 1 reads, 2 writes (created or emptied), 3 appends (created when
    /// missing). A created file gets 0664 less the umask. Answers 0 when open, -1 otherwise.
    int openFile(const char* name, int mode);

    /// Writes one byte at the current position.
    void writeChar(char c);

    /// Reads one byte into the text shared by all objects (the byte and a NUL) and answers
    /// that text; null at end of file, on a read error or with no file open.
    /// Kept inline: the contact scan calls it once for every byte of large databases.
    char* readChar() {
        const int c = nextByte();
        if (c == std::char_traits<char>::eof()) {
            stream.setstate(std::ios::eofbit);
            return nullptr;
        }
        // The NUL after the byte is set once and never overwritten.
        lastByte[0] = static_cast<char>(c);
        return lastByte;
    }

    /// Closes the file; answers 0.
    int closeFile();

    /// Writes the characters of `s` without terminator or line end; answers 0.
    int stringWrite(std::string s);

    /// Reads up to 1023 characters, stopping before `terminator` or at end of file, then
    /// consumes one more character. Answers a new[] text of 1024 bytes that the caller
    /// releases with delete[], or null when the stream is not in a good state.
    char* stringRead(char terminator);

    /// The current position in bytes from the start of the file; -1 with no file open.
    long getCurrentPos();

    /// Moves the current position to `pos` bytes from the start; answers 0.
    int moveToPos(long pos);

    /// The size of the file in bytes, leaving the current position where it was; -1 with no
    /// file open.
    long getSize();

private:
    /// The next byte, or end of file also when reading fails: libstdc++'s file buffer throws
    /// on a failed read (EIO on a damaged disk, EISDIR for a folder), the stream does not.
    int nextByte() {
        try {
            return stream.rdbuf()->sbumpc();
        } catch (const std::exception&) {
            stream.setstate(std::ios::badbit);
            return std::char_traits<char>::eof();
        }
    }
    /// The same without consuming the byte.
    int peekByte() {
        try {
            return stream.rdbuf()->sgetc();
        } catch (const std::exception&) {
            stream.setstate(std::ios::badbit);
            return std::char_traits<char>::eof();
        }
    }

    bool closedFlag;
    /// The stream's buffer (64 KiB rather than 8), set before any file is opened.
    std::unique_ptr<char[]> buffer;
    std::fstream stream;

    /// The last byte read by any object's readChar, followed by a NUL.
    static char lastByte[2];
};
