// The .reg parser over an export from disk, then the lookups the plug-in makes.

#include "fuzzsupport.h"
#include "regfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    const std::unique_ptr<vqrt::RegFile> file =
        vqrt::RegFile::parse(fuzzsupport::asText(data, size), "fuzz.reg", "CP1252", error);
    fuzzsupport::checkMessages(file ? file->warnings() : std::vector<std::string>{error});
    if (file) {
        fuzzsupport::readPluginValues(*file);
    }
    return 0;
}
