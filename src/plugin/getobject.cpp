#include "plugin/tarvex.h"

// The one symbol the library exports; the host owns the object.
extern "C" __attribute__((visibility("default"))) plugin* getObject() {
    return new tarvex(nullptr);
}
