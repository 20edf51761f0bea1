// The hive reader over a hive file from a damaged or hostile disk, taken as the SOFTWARE and
// SYSTEM hives and the user's NTUSER.DAT, then the lookups the plug-in makes.

#include "fuzzsupport.h"
#include "hiveregistry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = fuzzsupport::scratchFile("NTUSER.DAT");
    fuzzsupport::writeBytes(path, fuzzsupport::asText(data, size));
    vqrt::HiveRegistry registry({path, path, path});
    fuzzsupport::readPluginValues(registry);
    fuzzsupport::checkMessages(registry.warnings());
    return 0;
}
