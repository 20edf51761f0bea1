#include "layeredregistry.h"

#include <algorithm>

#include "hiveregistry.h"
#include "regfile.h"
#include "text/names.h"
#include "text/utf8.h"
#include "win9xregistry.h"

namespace vqrt {

std::optional<RegRoot> parseRegRoot(std::string_view name) {
    const std::string lower = text::foldName(name);
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

std::optional<std::string> currentUserBelowUsers(const std::vector<std::string>& names) {
    std::optional<std::string> defaultUser;
    std::vector<std::string> others;
    for (const std::string& name : names) {
        if (text::foldName(name) == ".default") {
            defaultUser = name;
        } else if (std::find(others.begin(), others.end(), name) == others.end()) {
            others.push_back(name);
        }
    }
    if (others.size() == 1) {
        return others.front();
    }
    return others.empty() ? defaultUser : std::nullopt;
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

void copyCut(std::string_view value, char* out, size_t outSize) {
    if (out == nullptr || outSize == 0) {
        return;
    }
    const std::string_view cut = text::cutUtf8(value, outSize - 1);
    cut.copy(out, cut.size());
    out[cut.size()] = '\0';
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
    RegLookup l = lookup(*parsed, text::splitKeyPath(keyPath != nullptr ? keyPath : ""),
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

std::vector<std::string> LayeredRegistry::warnings() const {
    std::vector<std::string> all;
    for (const auto& layer : layers_) {
        for (std::string& warning : layer->warnings()) {
            all.push_back(std::move(warning));
        }
    }
    return all;
}

std::unique_ptr<LayeredRegistry> openHostRegistry(const HivePaths& hives,
                                                  const std::vector<std::string>& regFiles,
                                                  const std::string& codepage, std::string& error) {
    auto registry = std::make_unique<LayeredRegistry>();
    if (hives.win9x) {
        registry->addLayer(std::make_unique<Win9xRegistry>(hives.software, hives.user, codepage));
    } else {
        registry->addLayer(std::make_unique<HiveRegistry>(hives, codepage));
    }
    for (const std::string& path : regFiles) {
        std::unique_ptr<RegFile> file = RegFile::load(path, codepage, error);
        if (!file) {
            return nullptr;
        }
        registry->addLayer(std::move(file));
    }
    return registry;
}

} // namespace vqrt
