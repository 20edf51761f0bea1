#pragma once

#include "ini/inireader.h"

#include <string>
#include <vector>

namespace initest {

/// A document that logs the virtual operations the loader, the saver and SetKeyValAlways
/// reach, then lets the document do them.
class RecordingReader : public CIniReader {
public:
    using CIniReader::GetKeyVal;
    using CIniReader::SetKeyVal;

    std::vector<std::string> calls;
    /// When not negative, GetSectionsCount answers this instead of the real count.
    int sectionsCountOverride = -1;

    bool AddSection(const char* name) override {
        calls.push_back("AddSection(" + std::string(name) + ")");
        return CIniReader::AddSection(name);
    }
    bool AddKey(const char* section, const char* key, const char* value) override {
        calls.push_back("AddKey(" + std::string(section) + "," + key + "," + value + ")");
        return CIniReader::AddKey(section, key, value);
    }
    bool GetKeyVal(const char* section, const char* key, char* buffer, int length) override {
        calls.push_back("GetKeyVal(" + std::string(section) + "," + key + ")");
        return CIniReader::GetKeyVal(section, key, buffer, length);
    }
    bool SetKeyVal(const char* section, const char* key, const char* value) override {
        calls.push_back("SetKeyVal(" + std::string(section) + "," + key + "," + value + ")");
        return CIniReader::SetKeyVal(section, key, value);
    }
    bool IsSectionFound(const char* name) override {
        calls.push_back("IsSectionFound(" + std::string(name) + ")");
        return CIniReader::IsSectionFound(name);
    }
    int GetSectionsCount() override {
        calls.push_back("GetSectionsCount");
        return sectionsCountOverride >= 0 ? sectionsCountOverride : CIniReader::GetSectionsCount();
    }
};

} // namespace initest
