#pragma once

#include <string>

namespace VQ {

/// One entry found by a CFileFinder; it belongs to the finder.
class CVantryNode {
public:
    virtual ~CVantryNode() {}
    /// The entry's full local path.
    virtual std::string getPath() const = 0;
    /// True for a regular file.
    virtual bool isFile() const = 0;
};

} // namespace VQ
