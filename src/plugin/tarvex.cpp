#include "plugin/tarvex.h"

tarvex::tarvex(CArbiter* arbiter) : plugin(arbiter), optionsDlg(nullptr) {}

tarvex::~tarvex() {
    QObject::disconnect(dialogGone);
    clearProfiles();
}
