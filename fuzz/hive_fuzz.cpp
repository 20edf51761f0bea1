// The registry readers over a file from a damaged or hostile disk: taken as the SOFTWARE and
// SYSTEM hives and the user's NTUSER.DAT, and as Windows 98's SYSTEM.DAT and USER.DAT, then
// the lookups the plug-in makes.

#include "fuzzsupport.h"
#include "hiveregistry.h"
#include "win9xregistry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = fuzzsupport::scratchFile("NTUSER.DAT");
    fuzzsupport::writeBytes(path, fuzzsupport::asText(data, size));
    vqrt::HiveRegistry registry({path, path, path});
    fuzzsupport::readPluginValues(registry);
    fuzzsupport::checkMessages(registry.warnings());
    vqrt::Win9xRegistry older(path, path, "CP1252");
    fuzzsupport::readPluginValues(older);
    fuzzsupport::checkMessages(older.warnings());
    return 0;
}
