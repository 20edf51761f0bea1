#pragma once

#include <string>

/// Helpers the host offers to plug-ins.
class CVantryTools {
public:
    virtual ~CVantryTools() {}
    /// Gives the local path under which the file at a Windows path can be read.
    virtual void convertPath(const std::string& windowsPath, std::string& localPath) = 0;
};
