#include "regtree.h"

#include <algorithm>

#include "emptyhive.h"
#include "text/names.h"

namespace mkwin {

RegistryKey& RegistryTree::key(std::string_view path) {
    RegistryKey* current = &root_;
    for (std::string& name : text::splitKeyPath(path)) {
        const std::string folded = text::foldName(name);
        auto found =
            std::find_if(current->children.begin(), current->children.end(),
                         [&](const RegistryKey& k) { return text::foldName(k.name) == folded; });
        if (found == current->children.end()) {
            current->children.push_back(RegistryKey{std::move(name), {}, {}});
            current = &current->children.back();
        } else {
            current = &*found;
        }
    }
    return *current;
}

void RegistryTree::set(std::string_view path, RegistryValue value) {
    RegistryKey& target = key(path);
    const std::string folded = text::foldName(value.name);
    for (RegistryValue& existing : target.values) {
        if (text::foldName(existing.name) == folded) {
            existing = std::move(value);
            return;
        }
    }
    target.values.push_back(std::move(value));
}

void RegistryTree::setString(std::string_view path, const std::string& name,
                             const std::string& utf8, const std::string& origin) {
    set(path, RegistryValue{name, kHiveSz, true, utf8, origin});
}

void RegistryTree::setExpandString(std::string_view path, const std::string& name,
                                   const std::string& utf8, const std::string& origin) {
    set(path, RegistryValue{name, kHiveExpandSz, true, utf8, origin});
}

void RegistryTree::setDword(std::string_view path, const std::string& name, uint32_t value,
                            const std::string& origin) {
    std::string bytes;
    for (int i = 0; i < 4; ++i) {
        bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    set(path, RegistryValue{name, kHiveDword, false, bytes, origin});
}

void RegistryTree::setRaw(std::string_view path, const std::string& name, uint32_t type,
                          const std::string& bytes, const std::string& origin) {
    set(path, RegistryValue{name, type, false, bytes, origin});
}

std::vector<const RegistryKey*> sortedChildren(const RegistryKey& key) {
    std::vector<const RegistryKey*> children;
    for (const RegistryKey& child : key.children) {
        children.push_back(&child);
    }
    std::stable_sort(children.begin(), children.end(),
                     [](const RegistryKey* a, const RegistryKey* b) {
                         return text::foldName(a->name) < text::foldName(b->name);
                     });
    return children;
}

} // namespace mkwin
