#pragma once

#include <cstddef>

/// Reads values of the migrated Windows registry ("HKEY_LOCAL_MACHINE" or "HKEY_CURRENT_USER").
class CRegistryReader {
public:
    virtual ~CRegistryReader() {}
    /// Stores at most outSize - 1 bytes of a text value and a terminator; 0 when found.
    /// An empty valueName reads the key's default value.
    virtual int readString(const char* root, const char* keyPath, const char* valueName, char* out,
                           size_t outSize) = 0;
    /// Stores a number value in `out`; 0 when found.
    virtual int readDword(const char* root, const char* keyPath, const char* valueName,
                          long* out) = 0;
};
