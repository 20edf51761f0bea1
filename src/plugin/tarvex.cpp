#include "plugin/tarvex.h"

#include <QObject>

tarvex::tarvex(CArbiter* arbiter) : plugin(arbiter), optionsDlg(nullptr) {}

tarvex::~tarvex() {
    QObject::disconnect(dialogGone);
    clearProfiles();
}
