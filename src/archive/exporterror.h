#pragma once

#include <stdexcept>

namespace archive {

/// A failed export step, as one line: `PATH: what happened (cause)`.
class ExportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace archive
