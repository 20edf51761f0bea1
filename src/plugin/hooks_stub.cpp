#include "plugin/tarvex.h"

bool tarvex::getIcon(CVantryBitmap&) { return false; }
int32_t tarvex::showDlg(long, void*) { return 0; }
void tarvex::hideDlg(long) {}
bool tarvex::checkDependency() { return false; }
int32_t tarvex::activatePlugin(CBaseVantryIO*, long) { return -1; }
void tarvex::HandleFile(CBaseVantryIO*, CVantryTools*, const char*, const char*) {}
bool tarvex::exportContacts(CBaseVantryIO*, CHostAgent*, CFileIO*) { return true; }
void tarvex::exportSounds(CBaseVantryIO*, CRegistryReader*, CVantryTools*) {}
