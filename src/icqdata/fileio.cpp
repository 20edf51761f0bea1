#include "icqdata/fileio.h"

#include <fcntl.h>
#include <iostream>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

char CFileIO::lastByte[2] = {'\0', '\0'};

namespace {

constexpr int kModeRead = 1;
constexpr int kModeWrite = 2;
constexpr int kModeAppend = 3;
constexpr size_t kStringReadSize = 1024;
// Large enough that a scan of a big database needs few reads, small beside its size.
constexpr std::streamsize kBufferSize = 64 * 1024;

// The C++ streams create files with 0666; creating it first gives the file 0664 less the
// umask. An existing file keeps its bits. Non-blocking so that a FIFO cannot hang here.
void createWith0664(const char* name) {
    const int fd = ::open(name, O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0664);
    if (fd >= 0) {
        ::close(fd);
    }
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Only a regular file is read: opening a FIFO would wait for a writer, and a device such as
// /dev/zero (a database path on a hostile disk may be a link to one) never ends. The file is
// opened without blocking and checked; answers its descriptor, or -1.
int openRegularFile(const char* name) {
    const int fd = ::open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

CFileIO::CFileIO() : closedFlag(false), buffer(new (std::nothrow) char[kBufferSize]) {
    if (buffer) {
        stream.rdbuf()->pubsetbuf(buffer.get(), kBufferSize);
    }
}

CFileIO::~CFileIO() {
    std::cout << " in fileio destructor" << std::endl;
    if (!closedFlag) {
        stream.close();
    }
}

int CFileIO::openFile(const char* name, int mode) {
    std::ios::openmode how;
    switch (mode) {
    case kModeRead:
        how = std::ios::in | std::ios::binary;
        break;
    case kModeWrite:
        how = std::ios::in | std::ios::out | std::ios::trunc | std::ios::binary;
        break;
    case kModeAppend:
        how = std::ios::in | std::ios::out | std::ios::app | std::ios::binary;
        break;
    default:
        return -1;
    }
    if (name == nullptr) {
        return -1;
    }
    // Opening again replaces the file this object held.
    if (stream.is_open()) {
        stream.close();
    }
    if (mode != kModeRead) {
        createWith0664(name);
        stream.open(name, how);
    } else {
        const FileDescriptor checked(openRegularFile(name));
        if (checked.get() < 0) {
            return -1;
        }
        // The stream opens the checked file itself, so nothing can be swapped in between;
        // without /proc it opens the name again.
        stream.open("/proc/self/fd/" + std::to_string(checked.get()), how);
        if (!stream.is_open()) {
            stream.clear();
            stream.open(name, how);
        }
    }
    if (!stream.good()) {
        return -1;
    }
    closedFlag = false;
    return 0;
}

void CFileIO::writeChar(char c) {
    stream.rdbuf()->sputc(c);
}

int CFileIO::closeFile() {
    stream.close();
    closedFlag = true;
    return 0;
}

int CFileIO::stringWrite(std::string s) {
    stream.rdbuf()->sputn(s.data(), static_cast<std::streamsize>(s.size()));
    return 0;
}

char* CFileIO::stringRead(char terminator) {
    if (!stream.is_open() || !stream.good()) {
        return nullptr;
    }
    char* const text = new (std::nothrow) char[kStringReadSize];
    if (text == nullptr) {
        return nullptr;
    }
    using traits = std::char_traits<char>;
    size_t length = 0;
    while (length < kStringReadSize - 1) {
        const int c = peekByte();
        if (c == traits::eof() || traits::to_char_type(c) == terminator) {
            break;
        }
        text[length++] = traits::to_char_type(c);
        nextByte();
    }
    text[length] = '\0';
    // The terminator, or the first character past the limit, is consumed and lost.
    if (nextByte() == traits::eof()) {
        stream.setstate(std::ios::eofbit);
    }
    return text;
}

long CFileIO::getCurrentPos() {
    return static_cast<long>(stream.rdbuf()->pubseekoff(0, std::ios::cur));
}

int CFileIO::moveToPos(long pos) {
    if (stream.is_open()) {
        stream.clear();
    }
    stream.rdbuf()->pubseekpos(pos);
    return 0;
}

long CFileIO::getSize() {
    std::filebuf* const buf = stream.rdbuf();
    const std::streampos here = buf->pubseekoff(0, std::ios::cur);
    if (here == std::streampos(-1)) {
        return -1;
    }
    const std::streampos end = buf->pubseekoff(0, std::ios::end);
    buf->pubseekpos(here);
    return static_cast<long>(end);
}
