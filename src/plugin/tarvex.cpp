#include "plugin/tarvex.h"

tarvex::tarvex(CArbiter* arbiter) : plugin(arbiter), optionsDlg(nullptr) {}

tarvex::~tarvex() { clearProfiles(); }

void tarvex::storeProfile(const std::string& nickname, structProfileData* record) {
    structProfileData*& slot = profileMap[nickname];
    delete slot;
    slot = record;
}

void tarvex::clearProfiles() {
    for (auto& entry : profileMap) {
        delete entry.second;
        entry.second = nullptr;
    }
    profileMap.clear();
}
