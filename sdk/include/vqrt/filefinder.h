#pragma once

#include <string>
#include <vector>

#include "vqrt/vantrynode.h"

/// Lists the entries of a local directory whose names end in an extension.
class CFileFinder {
public:
    virtual ~CFileFinder() {}
    /// The local directory to search.
    virtual void setDirectory(const std::string& directory) = 0;
    /// The name ending to match, such as ".uin".
    virtual void setExtension(const std::string& extension) = 0;
    /// Fills and answers the matching entries; they stay valid until the next search.
    virtual std::vector<VQ::CVantryNode*>& search(std::vector<VQ::CVantryNode*>& nodes,
                                                  bool recursive) = 0;
};
