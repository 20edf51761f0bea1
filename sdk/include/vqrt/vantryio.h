#pragma once

/// The import record a plug-in writes: nested sections of key/value pairs.
class CBaseVantryIO {
public:
    virtual ~CBaseVantryIO() {}
    /// Opens a section inside the one currently open (or at the top).
    virtual void beginSection(const char* name) = 0;
    /// Adds a key with a text value to the open section.
    virtual void writeValue(const char* key, const char* value) = 0;
    /// Closes the innermost open section.
    virtual void endSection() = 0;
    /// Marks the record complete and saves it.
    virtual void flush() = 0;
    /// Adds a key whose value names a file, in double quotes, that the host carries over.
    virtual void writeFileValue(const char* quotedLocalPath, const char* key) = 0;
};
