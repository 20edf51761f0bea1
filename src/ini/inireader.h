#pragma once

#include <cstdio>
#include <memory>
#include <vector>

/// One key/value pair of an INI section; each text holds at most 79 characters and a zero.
struct IniKey {
    char name[80];  ///< Key name, always terminated.
    char value[80]; ///< Key value, always terminated.
};

/// A named section: keys in insertion order, names compared byte for byte, duplicates kept.
class CIniSection {
public:
    /// An empty section with a cleared name that is not dirty.
    CIniSection();
    /// Destroys every key.
    virtual ~CIniSection();
    CIniSection(const CIniSection&) = delete;
    CIniSection& operator=(const CIniSection&) = delete;

    /// 0 when the texts are equal byte for byte, 1 otherwise (no ordering).
    int inistricmp(const char* a, const char* b) const;
    /// Appends a key (name and value cut to 79 characters) and marks the section dirty.
    bool AddKey(const char* name, const char* value);
    /// Destroys the first key named exactly `name`.
    bool RemoveKey(const char* name);
    /// Destroys the key at `index`; later keys move down by one.
    bool RemoveKey(unsigned long index);
    /// Replaces the value of the first key named `name`; creates nothing.
    bool SetKeyVal(const char* name, const char* value);
    /// Replaces the value of the key at `index`.
    bool SetKeyVal(unsigned long index, const char* value);
    /// Copies out the value of the first key named `name`.
    bool GetKeyVal(const char* name, char* buffer, int length) const;
    /// Copies out the value of the key at `index`.
    bool GetKeyVal(unsigned long index, char* buffer, int length) const;
    /// Copies out the name of the key at `index`.
    bool GetKeyName(unsigned long index, char* buffer, int length) const;
    /// The number of keys.
    int GetKeysCount() const;
    /// Destroys every key; the dirty flag stays as it is.
    bool RemoveAll();
    /// Renames the section (cut to 79 characters); the dirty flag stays as it is.
    bool SetSectionName(const char* name);
    /// Copies out the section name.
    bool GetSectionName(char* buffer, int length) const;
    /// True once a key has been added, removed or changed.
    bool IsDirty() const;

private:
    IniKey* findKey(const char* name) const;

    std::vector<std::unique_ptr<IniKey>> keys;
    char name[80];
    bool dirty;
};

/// An INI document: sections in insertion order, names compared without regard to case.
///
/// Texts handed to a caller's buffer of `length` bytes fill exactly `length` bytes: the text
/// cut to `length`, then zeros, so the result is terminated only when the text is shorter.
/// The virtual operations keep this order; LoadFromFile, SaveToFile and SetKeyValAlways reach
/// the others through it, so overrides take effect there too.
class CIniReader {
public:
    /// An empty document that is not dirty.
    CIniReader();
    /// Destroys every section and, through them, every key.
    virtual ~CIniReader();
    CIniReader(const CIniReader&) = delete;
    CIniReader& operator=(const CIniReader&) = delete;

    /// Appends a section named `name` (cut to 79 characters), even if the name exists.
    virtual bool AddSection(const char* name);
    /// Appends a key to the first section named `section`.
    virtual bool AddKey(const char* section, const char* key, const char* value);
    /// Destroys the first section named `name`.
    virtual bool RemoveSection(const char* name);
    /// Destroys the section at `index`.
    virtual bool RemoveSection(unsigned int index);
    /// Destroys the first key named `key` of the first section named `section`.
    virtual bool RemoveKey(const char* section, const char* key);
    /// Destroys the key at `keyIndex` of the section at `sectionIndex`.
    virtual bool RemoveKey(unsigned int sectionIndex, unsigned int keyIndex);
    /// Writes the document as INI text to `path`, then hands the file over to its owner.
    virtual bool SaveToFile(const char* path);
    /// Adds the sections and keys of the INI text file `path`; false if it cannot be opened.
    virtual bool LoadFromFile(const char* path);
    /// The number of sections.
    virtual int GetSectionsCount();
    /// The key count of the first section named `section`, or -1.
    virtual int GetKeysCount(const char* section);
    /// The key count of the section at `index`, or -1.
    virtual int GetKeysCount(unsigned int index);
    /// Copies out the name of the section at `index`.
    virtual bool GetSectionName(unsigned int index, char* buffer, int length);
    /// Copies out the value of a key given by positions.
    virtual bool GetKeyVal(unsigned int sectionIndex, unsigned int keyIndex, char* buffer,
                           int length);
    /// Copies out the value of the first key `key` in the first section named `section`.
    virtual bool GetKeyVal(const char* section, const char* key, char* buffer, int length);
    /// Renames the section at `index` (cut to 79 characters).
    virtual bool SetSectionName(unsigned int index, char* name);
    /// Replaces the value of a key given by positions.
    virtual bool SetKeyVal(unsigned int sectionIndex, unsigned int keyIndex, const char* value);
    /// Replaces the value of the first key `key` in the first section named `section`.
    virtual bool SetKeyVal(const char* section, const char* key, const char* value);
    /// Sets a value, adding the section and the key when they are missing.
    virtual bool SetKeyValAlways(const char* section, const char* key, const char* value);
    /// The document's own modified flag; no operation sets it.
    virtual bool IsDirty();
    /// Destroys every section.
    virtual bool RemoveAll();
    /// True if a section named `name` exists.
    virtual bool IsSectionFound(const char* name);

    /// 0 when the texts are equal without regard to case, 1 otherwise (no ordering).
    int inistricmp(const char* a, const char* b) const;
    /// Reads one line of at most `size` - 1 characters into `buffer` (cleared first).
    bool ReadLine(FILE* file, char* buffer, int size);
    /// True when the first character of `line` other than a space is '['.
    bool IsSection(const char* line) const;
    /// Rewrites the header `line` to the section name it gives and returns `line`.
    char* GetSection(char* line);
    /// Splits a key line at its first '='; false for a comment or an empty cleaned line.
    bool ParseLine(const char* line, char* key, int keyLength, char* value, int valueLength);
    /// A new[] copy of `text` without leading, trailing and repeated spaces and newlines.
    char* CleanString(const char* text);

private:
    CIniSection* findSection(const char* name) const;
    CIniSection* sectionAt(unsigned int index) const;

    std::vector<std::unique_ptr<CIniSection>> sections;
    bool dirty;
};
