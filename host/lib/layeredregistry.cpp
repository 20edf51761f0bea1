#include "layeredregistry.h"

#include "casepath.h"
#include "codepage.h"
#include "hiveregistry.h"
#include "regfile.h"

#include <algorithm>

namespace vqrt {

namespace {

// The lower-case partner of a capital letter; other code points are their own.
uint32_t foldCodePoint(uint32_t cp) {
    if (cp < 0x80) {
        return (cp >= 'A' && cp <= 'Z') ? cp + 32 : cp;
    }
    if ((cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) || (cp >= 0x391 && cp <= 0x3AB && cp != 0x3A2) ||
        (cp >= 0x410 && cp <= 0x42F)) {
        return cp + 32;
    }
    if ((cp >= 0x100 && cp <= 0x12F) || (cp >= 0x132 && cp <= 0x137) ||
        (cp >= 0x14A && cp <= 0x177)) {
        return cp | 1;
    }
    if ((cp >= 0x139 && cp <= 0x148) || (cp >= 0x179 && cp <= 0x17E)) {
        return (cp & 1) ? cp + 1 : cp;
    }
    if (cp >= 0x400 && cp <= 0x40F) {
        return cp + 80;
    }
    switch (cp) {
    case 0x178:
        return 0xFF;
    case 0x386:
        return 0x3AC;
    case 0x388:
    case 0x389:
    case 0x38A:
        return cp + 37;
    case 0x38C:
        return 0x3CC;
    case 0x38E:
    case 0x38F:
        return cp + 63;
    default:
        return cp;
    }
}

} // namespace

std::optional<RegRoot> parseRegRoot(std::string_view name) {
    const std::string lower = asciiLower(std::string(name));
    if (lower == "hkey_local_machine" || lower == "hklm") {
        return RegRoot::LocalMachine;
    }
    if (lower == "hkey_current_user" || lower == "hkcu") {
        return RegRoot::CurrentUser;
    }
    if (lower == "hkey_classes_root" || lower == "hkcr") {
        return RegRoot::ClassesRoot;
    }
    if (lower == "hkey_users" || lower == "hku") {
        return RegRoot::Users;
    }
    if (lower == "hkey_current_config" || lower == "hkcc") {
        return RegRoot::CurrentConfig;
    }
    return std::nullopt;
}

std::vector<std::string> splitKeyPath(std::string_view path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        if (end > start) {
            parts.emplace_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

std::string foldRegistryName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    size_t i = 0;
    while (i < name.size()) {
        const auto c = static_cast<unsigned char>(name[i]);
        // Only two-byte sequences can hold a letter that folds; everything else is copied.
        if (c >= 0xC2 && c <= 0xDF && i + 1 < name.size() &&
            (static_cast<unsigned char>(name[i + 1]) & 0xC0) == 0x80) {
            const uint32_t cp =
                ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(name[i + 1]) & 0x3Fu);
            appendUtf8(out, foldCodePoint(cp));
            i += 2;
        } else {
            out += static_cast<char>(c < 0x80 ? foldCodePoint(c) : c);
            ++i;
        }
    }
    return out;
}

RegValue RegValue::makeText(uint32_t type, std::string text) {
    RegValue v;
    v.kind = Kind::Text;
    v.type = type;
    v.text = std::move(text);
    return v;
}

RegValue RegValue::makeNumber(uint32_t type, int32_t number) {
    RegValue v;
    v.kind = Kind::Number;
    v.type = type;
    v.number = number;
    return v;
}

RegValue RegValue::makeOther(uint32_t type) {
    RegValue v;
    v.type = type;
    return v;
}

RegLookup RegLookup::found(RegValue value) {
    RegLookup l;
    l.state = State::Found;
    l.value = std::move(value);
    return l;
}

RegLookup RegLookup::deleted() {
    RegLookup l;
    l.state = State::Deleted;
    return l;
}

void copyCut(std::string_view text, char* out, size_t outSize) {
    if (out == nullptr || outSize == 0) {
        return;
    }
    size_t n = std::min(text.size(), outSize - 1);
    // Step back over continuation bytes so a cut never splits a character.
    if (n < text.size()) {
        size_t back = n;
        while (back > 0 && n - back < 3 &&
               (static_cast<unsigned char>(text[back]) & 0xC0) == 0x80) {
            --back;
        }
        if ((static_cast<unsigned char>(text[back]) & 0xC0) != 0x80) {
            n = back;
        }
    }
    text.copy(out, n);
    out[n] = '\0';
}

int RegistryLayer::find(const char* root, const char* keyPath, const char* valueName,
                        RegValue& value) const {
    if (root == nullptr) {
        return kRegBadArgument;
    }
    const std::optional<RegRoot> parsed = parseRegRoot(root);
    if (!parsed) {
        return kRegBadArgument;
    }
    RegLookup l = lookup(*parsed, splitKeyPath(keyPath != nullptr ? keyPath : ""),
                         valueName != nullptr ? valueName : "");
    if (l.state != RegLookup::State::Found) {
        return kRegNotFound;
    }
    value = std::move(l.value);
    return kRegOk;
}

int RegistryLayer::readString(const char* root, const char* keyPath, const char* valueName,
                              char* out, size_t outSize) {
    if (out == nullptr || outSize == 0) {
        return kRegBadArgument;
    }
    RegValue value;
    const int answer = find(root, keyPath, valueName, value);
    if (answer != kRegOk) {
        return answer;
    }
    if (value.kind != RegValue::Kind::Text) {
        return kRegWrongType;
    }
    copyCut(value.text, out, outSize);
    return kRegOk;
}

int RegistryLayer::readDword(const char* root, const char* keyPath, const char* valueName,
                             long* out) {
    if (out == nullptr) {
        return kRegBadArgument;
    }
    RegValue value;
    const int answer = find(root, keyPath, valueName, value);
    if (answer != kRegOk) {
        return answer;
    }
    if (value.kind != RegValue::Kind::Number) {
        return kRegWrongType;
    }
    *out = value.number;
    return kRegOk;
}

void LayeredRegistry::addLayer(std::unique_ptr<RegistryLayer> layer) {
    if (layer) {
        layers_.push_back(std::move(layer));
    }
}

RegLookup LayeredRegistry::lookup(RegRoot root, const std::vector<std::string>& key,
                                  std::string_view valueName) const {
    for (auto it = layers_.rbegin(); it != layers_.rend(); ++it) {
        RegLookup l = (*it)->lookup(root, key, valueName);
        if (l.state != RegLookup::State::Absent) {
            return l;
        }
    }
    return {};
}

std::unique_ptr<LayeredRegistry>
openHostRegistry(const std::string& softwareHive, const std::string& userHive,
                 const std::vector<std::string>& regFiles, const std::string& codepage,
                 std::vector<std::string>& warnings, std::string& error) {
    auto registry = std::make_unique<LayeredRegistry>();
    auto hives = std::make_unique<HiveRegistry>(softwareHive, userHive, codepage);
    for (const std::string& problem : hives->problems()) {
        warnings.push_back(problem);
    }
    registry->addLayer(std::move(hives));
    for (const std::string& path : regFiles) {
        std::unique_ptr<RegFile> file = RegFile::load(path, codepage, error);
        if (!file) {
            return nullptr;
        }
        warnings.insert(warnings.end(), file->warnings().begin(), file->warnings().end());
        registry->addLayer(std::move(file));
    }
    return registry;
}

} // namespace vqrt
