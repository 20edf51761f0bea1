#include "installation.h"

namespace mkwin {

bool buildInstallation(const nlohmann::json&, const std::string&, std::string* error) {
    if (error != nullptr) {
        *error = "not built yet";
    }
    return false;
}

} // namespace mkwin
