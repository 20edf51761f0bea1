#include "plugin/tarvex.h"

#include <cstring>

namespace {

// Exactly `length` bytes: the text, zero-filled behind it, unterminated when it does not fit.
char* copyBounded(char* buffer, int length, const char* text) {
    if (buffer != nullptr && length > 0) {
        std::strncpy(buffer, text, static_cast<size_t>(length));
    }
    return buffer;
}

} // namespace

char* tarvex::getName(char* buffer, int length) {
    return copyBounded(buffer, length, "ICQ");
}

char* tarvex::getDescription(char* buffer, int length) {
    return copyBounded(buffer, length, "ICQ Importer Plugin");
}

char* tarvex::getToolTip(char* buffer, int length) {
    return copyBounded(buffer, length, "ICQ Instant Messanger");
}

char* tarvex::getMajorCategory(char* buffer, int length) {
    return copyBounded(buffer, length, "Communication");
}

char* tarvex::getMinorCategory(char* buffer, int length) {
    return copyBounded(buffer, length, "Instant Messanger");
}

char* tarvex::getInternalCategory(char* buffer, int length) {
    return copyBounded(buffer, length, "ICQ");
}

version_t* tarvex::getVersion(version_t* version) {
    version->minor = 1;
    version->major = 0;
    return version;
}

version_t* tarvex::getMinEngineVersion(version_t* version) {
    version->minor = 1;
    version->major = 0;
    return version;
}

int32_t tarvex::getBlockCount() {
    return 60;
}

long* tarvex::getProperties(long* properties) {
    *properties = 2;
    return properties;
}
