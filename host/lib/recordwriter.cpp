#include "recordwriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "text/printable.h"
#include "text/utf8.h"

namespace vqrt {

namespace {

constexpr char kFormat[] = "tolvane-record/1";
constexpr char kRecordName[] = "record.json";
constexpr char kFilesName[] = "files";
constexpr size_t kMaxStemBytes = 96;      // a carried name stays far below NAME_MAX
constexpr size_t kMaxExtensionBytes = 16; // a longer "extension" is part of the stem
constexpr int kMaxNameAttempts = 100000;
constexpr size_t kCopyChunk = 64 * 1024;
// A sound file is a few hundred KiB; anything beyond this is not what it claims to be.
constexpr off_t kMaxCarriedBytes = off_t{64} << 20;

// One line for a warning: control bytes are shown escaped, so a hostile name cannot break it.
using text::printable;

// Code points that would make a carried name invisible, misleading or not one word:
// C1 controls, spaces (the no-break space too), format and bidirectional marks, variation
// selectors and noncharacters.
bool isUnsafeCodePoint(uint32_t cp) {
    return cp <= 0xA0 || cp == 0xAD || cp == 0x1680 || cp == 0x180E ||
           (cp >= 0x2000 && cp <= 0x206F) || cp == 0x3000 || (cp >= 0xFE00 && cp <= 0xFE0F) ||
           cp == 0xFEFF || (cp >= 0xFFF0 && cp <= 0xFFFF && cp != 0xFFFD) ||
           (cp >= 0xE0000 && cp <= 0xE0FFF);
}

// True when the regular file `name` in `dir` holds exactly the bytes of `source`.
bool sameContent(int dir, const std::string& name, int source, off_t sourceSize) {
    const UniqueFd existing(
        ::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat st;
    if (!existing || ::fstat(existing.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size != sourceSize || ::lseek(source, 0, SEEK_SET) != 0) {
        return false;
    }
    std::vector<char> a(kCopyChunk);
    std::vector<char> b(kCopyChunk);
    for (;;) {
        const ssize_t na = readFull(source, a.data(), a.size());
        const ssize_t nb = readFull(existing.get(), b.data(), b.size());
        if (na < 0 || nb < 0 || na != nb) {
            return false;
        }
        if (na == 0) {
            return true;
        }
        if (std::memcmp(a.data(), b.data(), static_cast<size_t>(na)) != 0) {
            return false;
        }
    }
}

// The regular file at the absolute path `source`, opened, with `st` describing it; nothing,
// with the reason in `cause`, for anything else.
UniqueFd openSource(const std::string& source, struct stat& st, std::string& cause) {
    // Local paths of the installation are absolute; a relative one would be read from
    // wherever the host happens to run.
    if (source[0] != '/') {
        cause = "it is not an absolute path";
        return UniqueFd();
    }
    if (::stat(source.c_str(), &st) != 0) {
        cause = std::strerror(errno);
        return UniqueFd();
    }
    if (!S_ISREG(st.st_mode)) {
        cause = S_ISDIR(st.st_mode) ? "it is a directory" : "it is not a regular file";
        return UniqueFd();
    }
    // O_NONBLOCK: should the file have become a FIFO since the check, the open cannot hang.
    UniqueFd in(::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!in) {
        cause = std::strerror(errno);
    } else if (::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        cause = "it is not a regular file";
        in = UniqueFd();
    } else if (st.st_size > kMaxCarriedBytes) {
        cause = "it is larger than 64 MiB";
        in = UniqueFd();
    }
    return in;
}

// Copies the first `size` bytes of `in` into `out` (`shown`) and closes it. The holes of a
// sparse file are not written, so they stay holes. False with the reason in `cause`.
bool copyFile(int in, off_t size, UniqueFd& out, const std::string& shown, std::string& cause) {
    std::vector<char> buffer(kCopyChunk);
    for (off_t at = 0; at < size;) {
        const off_t data = ::lseek(in, at, SEEK_DATA);
        if (data < 0 && errno == ENXIO) {
            break; // only a hole is left
        }
        // Without hole information everything is data.
        at = data < 0 ? at : data;
        const off_t hole = ::lseek(in, at, SEEK_HOLE);
        const off_t end = hole <= at || hole > size ? size : hole;
        while (at < end) {
            const auto chunk = static_cast<size_t>(std::min<off_t>(end - at, kCopyChunk));
            const ssize_t n = ::pread(in, buffer.data(), chunk, at);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                cause = std::strerror(errno);
                return false;
            }
            if (n == 0) {
                size = at; // the file shrank while it was read
                break;
            }
            const int err = ::lseek(out.get(), at, SEEK_SET) != at
                                ? errno
                                : writeAll(out.get(), buffer.data(), static_cast<size_t>(n));
            if (err != 0) {
                cause = ioError(shown, "cannot write", err);
                return false;
            }
            at += n;
        }
    }
    if (::ftruncate(out.get(), size) != 0 || ::fchmod(out.get(), 0644) != 0) {
        cause = ioError(shown, "cannot write", errno);
        return false;
    }
    if (const int err = out.close()) {
        cause = ioError(shown, "cannot write", err);
        return false;
    }
    return true;
}

} // namespace

RecordWriter::RecordWriter(std::string outputDirectory, std::string pluginName,
                           RecordWriterOptions options)
    : outputDirectory_(std::move(outputDirectory)), pluginName_(std::move(pluginName)),
      options_(std::move(options)), decoder_(options_.codepage) {
    while (outputDirectory_.size() > 1 && outputDirectory_.back() == '/') {
        outputDirectory_.pop_back();
    }
}

RecordWriter::~RecordWriter() = default;

std::string RecordWriter::utf8(const char* text) const {
    return decoder_.toUtf8(text ? text : "");
}

std::string_view RecordWriter::utf8(const char* text, std::string& scratch) const {
    const std::string_view view = text ? text : "";
    if (text::isValidUtf8(view)) {
        return view;
    }
    scratch = decoder_.toUtf8(view);
    return scratch;
}

void RecordWriter::warn(const std::string& line) const {
    if (options_.warn) {
        options_.warn(line);
    } else {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
}

void RecordWriter::beginSection(const char* name) {
    log_.beginSection(utf8(name));
    dirty_ = true;
}

void RecordWriter::writeValue(const char* key, const char* value) {
    std::string keyScratch;
    std::string valueScratch;
    log_.addValue(utf8(key, keyScratch), utf8(value, valueScratch));
    dirty_ = true;
}

void RecordWriter::endSection() {
    if (log_.endSection()) {
        dirty_ = true;
    }
}

void RecordWriter::flush() {
    complete_ = true;
    dirty_ = true;
    save();
}

void RecordWriter::setResult(int result) {
    if (result != result_) {
        result_ = result;
        dirty_ = true;
    }
}

void RecordWriter::finish() {
    if (dirty_) {
        save();
    }
}

void RecordWriter::writeFileValue(const char* quotedLocalPath, const char* key) {
    std::string path = quotedLocalPath ? quotedLocalPath : "";
    const std::string shownKey = utf8(key);
    std::optional<std::string> carried;
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"') {
        path = path.substr(1, path.size() - 2);
    }
    if (path.empty()) {
        warn(printable(shownKey) + ": cannot carry the file (it has no local path)");
    } else {
        carried = carry(path);
    }
    log_.addFile(shownKey, utf8(quotedLocalPath), carried);
    dirty_ = true;
}

nlohmann::ordered_json RecordWriter::header() const {
    return {{"format", kFormat},
            {"plugin", decoder_.toUtf8(pluginName_)},
            {"result", result_},
            {"complete", complete_}};
}

nlohmann::ordered_json RecordWriter::json() const {
    return log_.json(header());
}

nlohmann::ordered_json RecordWriter::outline() const {
    return log_.json(header(), false);
}

int RecordWriter::writeText(int fd) const {
    return log_.writeText(fd, header());
}

bool RecordWriter::makeOutputDirectory(std::string& cause) const {
    std::error_code ec;
    std::filesystem::create_directories(outputDirectory_, ec);
    struct stat st;
    if (!ec && ::stat(outputDirectory_.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        return true;
    }
    cause = outputDirectory_ + ": cannot create the folder (" +
            (ec ? ec.message() : std::strerror(ENOTDIR)) + ")";
    return false;
}

std::string RecordWriter::shown(const std::string& name) const {
    return (shownDirectory_.empty() ? outputDirectory_ : shownDirectory_) + "/" + name;
}

bool RecordWriter::save() {
    std::string error;
    if (!makeOutputDirectory(error) ||
        !writeFileAtomically(
            outputDirectory_, kRecordName, 0600, [this](int fd) { return writeText(fd); }, error,
            shownDirectory_)) {
        lastSaveError_ = error;
        warn(error);
        return false;
    }
    dirty_ = false;
    lastSaveError_.clear();
    return true;
}

int RecordWriter::filesDirectory(std::string& cause) {
    if (filesFd_) {
        return filesFd_.get();
    }
    if (!makeOutputDirectory(cause)) {
        return -1;
    }
    const std::string shownFiles = shown(kFilesName);
    const UniqueFd out(::open(outputDirectory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!out) {
        cause = ioError(outputDirectory_, "cannot open", errno);
        return -1;
    }
    if (::mkdirat(out.get(), kFilesName, 0755) != 0 && errno != EEXIST) {
        cause = ioError(shownFiles, "cannot create the folder", errno);
        return -1;
    }
    struct stat st;
    if (::fstatat(out.get(), kFilesName, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        cause = ioError(shownFiles, "cannot open", errno);
        return -1;
    }
    if (!S_ISDIR(st.st_mode)) {
        cause = shownFiles + ": cannot create the folder (" +
                (S_ISLNK(st.st_mode) ? "a symbolic link" : "a file") + " is in its place)";
        return -1;
    }
    // O_NOFOLLOW holds even if the folder was swapped for a link after the check above.
    UniqueFd files(
        ::openat(out.get(), kFilesName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!files) {
        cause = ioError(shownFiles, "cannot open", errno);
        return -1;
    }
    filesFd_ = std::move(files);
    return filesFd_.get();
}

std::string RecordWriter::safeFileName(const std::string& rawName) const {
    const std::string name = decoder_.toUtf8(rawName);
    std::string out;
    for (size_t i = 0; i < name.size();) {
        const text::Utf8Char c = text::decodeUtf8(name, i);
        const auto lead = static_cast<unsigned char>(name[i]);
        if (c.length == 1) {
            const bool keep = (lead >= 'A' && lead <= 'Z') || (lead >= 'a' && lead <= 'z') ||
                              (lead >= '0' && lead <= '9') || lead == '_' || lead == '-';
            if (lead == '.') {
                // No ".." anywhere and no leading dot: runs of dots become one.
                if (out.empty()) {
                    out += '_';
                } else if (out.back() != '.') {
                    out += '.';
                }
            } else {
                out += keep ? static_cast<char>(lead) : '_';
            }
        } else if (isUnsafeCodePoint(c.codePoint)) {
            out += '_';
        } else {
            out.append(name, i, c.length);
        }
        i += c.length;
    }
    return out.empty() ? std::string("file") : out;
}

std::optional<std::string> RecordWriter::carry(const std::string& source) {
    std::string cause;
    struct stat st;
    const UniqueFd in = openSource(source, st, cause);
    const size_t slash = source.rfind('/');
    std::optional<std::string> carried;
    if (in) {
        carried =
            copyUnderFreeName(in.get(), st.st_size, safeFileName(source.substr(slash + 1)), cause);
    }
    if (!carried) {
        warn(printable(decoder_.toUtf8(source)) + ": cannot carry (" + cause + ")");
    }
    return carried;
}

std::string RecordWriter::freeName(int dir, int in, off_t size, const std::string& name,
                                   bool& same) const {
    const size_t dot = name.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && dot > 0 && name.size() - dot <= kMaxExtensionBytes;
    const std::string extension = hasExtension ? name.substr(dot) : std::string();
    const std::string stem(text::cutUtf8(hasExtension ? name.substr(0, dot) : name, kMaxStemBytes));
    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        const std::string candidate =
            attempt == 1 ? stem + extension : stem + "-" + std::to_string(attempt) + extension;
        struct stat st;
        if (::fstatat(dir, candidate.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT) {
            return candidate;
        }
        if (sameContent(dir, candidate, in, size)) {
            same = true;
            return candidate;
        }
    }
    return {};
}

std::optional<std::string>
RecordWriter::copyUnderFreeName(int in, off_t size, const std::string& name, std::string& cause) {
    const int dir = filesDirectory(cause);
    if (dir < 0) {
        return std::nullopt;
    }
    bool same = false;
    const std::string free = freeName(dir, in, size, name, same);
    if (free.empty()) {
        cause = "no free name for it in " + shown(kFilesName);
        return std::nullopt;
    }
    const std::string carried = std::string(kFilesName) + "/" + free;
    if (same) {
        return carried;
    }
    // A copy cut short keeps its temporary name, so no file in files/ looks whole without being
    // so.
    const std::string target = shown(carried);
    std::string temporary = outputDirectory_ + "/" + kFilesName + "/" + temporaryPattern(free);
    UniqueFd out(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!out) {
        cause = ioError(target, "cannot create", errno);
        return std::nullopt;
    }
    const std::string temporaryName = temporary.substr(temporary.rfind('/') + 1);
    bool whole = copyFile(in, size, out, target, cause);
    if (whole &&
        ::renameat2(dir, temporaryName.c_str(), dir, free.c_str(), RENAME_NOREPLACE) != 0 &&
        (errno != EINVAL || ::renameat(dir, temporaryName.c_str(), dir, free.c_str()) != 0)) {
        cause = ioError(target, "cannot create", errno);
        whole = false;
    }
    if (!whole) {
        ::unlinkat(dir, temporaryName.c_str(), 0);
        return std::nullopt;
    }
    return carried;
}

} // namespace vqrt
