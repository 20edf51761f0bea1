#pragma once

#include <cstdio>
#include <memory>

namespace archive {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
/// A file closed when dropped.
using TemporaryFile = std::unique_ptr<std::FILE, FileCloser>;

/// An unnamed file in $TMPDIR (else /tmp), gone once closed: a confined run names a folder it
/// may write in. Throws ExportError ("FOLDER: could not create a temporary file (cause)").
TemporaryFile temporaryFile();

} // namespace archive
