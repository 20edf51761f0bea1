#include "ini/inireader.h"
#include "ini/initext.h"

#include <new>

using initext::copyOut;
using initext::storeText;

CIniSection::CIniSection() : name{}, dirty(false) {}

CIniSection::~CIniSection() {
    RemoveAll();
}

int CIniSection::inistricmp(const char* a, const char* b) const {
    if (a == nullptr || b == nullptr) {
        return 1;
    }
    return std::strcmp(a, b) == 0 ? 0 : 1;
}

IniKey* CIniSection::findKey(const char* wanted) const {
    for (const auto& key : keys) {
        if (inistricmp(key->name, wanted) == 0) {
            return key.get();
        }
    }
    return nullptr;
}

bool CIniSection::AddKey(const char* keyName, const char* value) {
    try {
        auto key = std::make_unique<IniKey>();
        storeText(key->name, keyName);
        storeText(key->value, value);
        keys.push_back(std::move(key));
    } catch (const std::bad_alloc&) {
        return false;
    }
    dirty = true;
    return true;
}

bool CIniSection::RemoveKey(const char* keyName) {
    for (auto it = keys.begin(); it != keys.end(); ++it) {
        if (inistricmp((*it)->name, keyName) == 0) {
            keys.erase(it);
            dirty = true;
            return true;
        }
    }
    return false;
}

bool CIniSection::RemoveKey(unsigned long index) {
    if (index >= keys.size()) {
        return false;
    }
    keys.erase(keys.begin() + static_cast<std::ptrdiff_t>(index));
    dirty = true;
    return true;
}

bool CIniSection::SetKeyVal(const char* keyName, const char* value) {
    IniKey* key = findKey(keyName);
    if (key == nullptr) {
        return false;
    }
    storeText(key->value, value);
    dirty = true;
    return true;
}

bool CIniSection::SetKeyVal(unsigned long index, const char* value) {
    if (index >= keys.size()) {
        return false;
    }
    storeText(keys[index]->value, value);
    dirty = true;
    return true;
}

bool CIniSection::GetKeyVal(const char* keyName, char* buffer, int length) const {
    const IniKey* key = findKey(keyName);
    if (key == nullptr) {
        return false;
    }
    copyOut(key->value, buffer, length);
    return true;
}

bool CIniSection::GetKeyVal(unsigned long index, char* buffer, int length) const {
    if (index >= keys.size()) {
        return false;
    }
    copyOut(keys[index]->value, buffer, length);
    return true;
}

bool CIniSection::GetKeyName(unsigned long index, char* buffer, int length) const {
    if (index >= keys.size()) {
        return false;
    }
    copyOut(keys[index]->name, buffer, length);
    return true;
}

int CIniSection::GetKeysCount() const {
    return static_cast<int>(keys.size());
}

bool CIniSection::RemoveAll() {
    keys.clear();
    return true;
}

bool CIniSection::SetSectionName(const char* sectionName) {
    storeText(name, sectionName);
    return true;
}

bool CIniSection::GetSectionName(char* buffer, int length) const {
    copyOut(name, buffer, length);
    return true;
}

bool CIniSection::IsDirty() const {
    return dirty;
}
