#pragma once

#include <cstdio>
#include <memory>

/// Closes a stdio stream.
struct StdioCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
/// A stdio stream that closes itself.
using StdioFile = std::unique_ptr<std::FILE, StdioCloser>;

/// `path` opened for reading when it is a regular file (links followed); null for anything
/// else. A FIFO is never waited on and a device such as /dev/zero never read, so reading the
/// answer cannot block or go on for ever.
StdioFile openRegularFile(const char* path);
