#include "ini/inireader.h"
#include "ini/initext.h"

#include <cctype>
#include <new>

CIniReader::CIniReader() : dirty(false) {}

CIniReader::~CIniReader() = default;

int CIniReader::inistricmp(const char* a, const char* b) const {
    if (a == nullptr || b == nullptr) {
        return 1;
    }
    // tolower sees the byte as unsigned: the same answer for ASCII, and no undefined
    // behaviour for the bytes above 127 that Windows-1252 names carry.
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) !=
            std::tolower(static_cast<unsigned char>(*b))) {
            return 1;
        }
    }
    return *a == *b ? 0 : 1;
}

CIniSection* CIniReader::findSection(const char* name) const {
    char stored[initext::kFieldSize];
    for (const auto& section : sections) {
        section->GetSectionName(stored, sizeof stored);
        if (inistricmp(stored, name) == 0) {
            return section.get();
        }
    }
    return nullptr;
}

CIniSection* CIniReader::sectionAt(unsigned int index) const {
    return index < sections.size() ? sections[index].get() : nullptr;
}

bool CIniReader::AddSection(const char* name) {
    try {
        auto section = std::make_unique<CIniSection>();
        section->SetSectionName(name);
        sections.push_back(std::move(section));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool CIniReader::AddKey(const char* section, const char* key, const char* value) {
    CIniSection* found = findSection(section);
    return found != nullptr && found->AddKey(key, value);
}

bool CIniReader::RemoveSection(const char* name) {
    for (auto it = sections.begin(); it != sections.end(); ++it) {
        char stored[initext::kFieldSize];
        (*it)->GetSectionName(stored, sizeof stored);
        if (inistricmp(stored, name) == 0) {
            sections.erase(it);
            return true;
        }
    }
    return false;
}

bool CIniReader::RemoveSection(unsigned int index) {
    if (index >= sections.size()) {
        return false;
    }
    sections.erase(sections.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

bool CIniReader::RemoveKey(const char* section, const char* key) {
    CIniSection* found = findSection(section);
    return found != nullptr && found->RemoveKey(key);
}

bool CIniReader::RemoveKey(unsigned int sectionIndex, unsigned int keyIndex) {
    CIniSection* found = sectionAt(sectionIndex);
    return found != nullptr && found->RemoveKey(static_cast<unsigned long>(keyIndex));
}

int CIniReader::GetSectionsCount() {
    return static_cast<int>(sections.size());
}

int CIniReader::GetKeysCount(const char* section) {
    const CIniSection* found = findSection(section);
    return found != nullptr ? found->GetKeysCount() : -1;
}

int CIniReader::GetKeysCount(unsigned int index) {
    const CIniSection* found = sectionAt(index);
    return found != nullptr ? found->GetKeysCount() : -1;
}

bool CIniReader::GetSectionName(unsigned int index, char* buffer, int length) {
    const CIniSection* found = sectionAt(index);
    return found != nullptr && found->GetSectionName(buffer, length);
}

bool CIniReader::GetKeyVal(unsigned int sectionIndex, unsigned int keyIndex, char* buffer,
                           int length) {
    const CIniSection* found = sectionAt(sectionIndex);
    return found != nullptr &&
           found->GetKeyVal(static_cast<unsigned long>(keyIndex), buffer, length);
}

bool CIniReader::GetKeyVal(const char* section, const char* key, char* buffer, int length) {
    const CIniSection* found = findSection(section);
    return found != nullptr && found->GetKeyVal(key, buffer, length);
}

bool CIniReader::SetSectionName(unsigned int index, char* name) {
    CIniSection* found = sectionAt(index);
    return found != nullptr && found->SetSectionName(name);
}

bool CIniReader::SetKeyVal(unsigned int sectionIndex, unsigned int keyIndex, const char* value) {
    CIniSection* found = sectionAt(sectionIndex);
    return found != nullptr && found->SetKeyVal(static_cast<unsigned long>(keyIndex), value);
}

bool CIniReader::SetKeyVal(const char* section, const char* key, const char* value) {
    CIniSection* found = findSection(section);
    return found != nullptr && found->SetKeyVal(key, value);
}

bool CIniReader::SetKeyValAlways(const char* section, const char* key, const char* value) {
    if (!IsSectionFound(section) && !AddSection(section)) {
        return false;
    }
    char scratch[initext::kFieldSize];
    if (!GetKeyVal(section, key, scratch, sizeof scratch)) {
        return AddKey(section, key, value);
    }
    return SetKeyVal(section, key, value);
}

bool CIniReader::IsDirty() {
    return dirty;
}

bool CIniReader::RemoveAll() {
    while (!sections.empty()) {
        sections.erase(sections.begin());
    }
    return true;
}

bool CIniReader::IsSectionFound(const char* name) {
    return findSection(name) != nullptr;
}
