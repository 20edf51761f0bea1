#pragma once

#include <cstdint>
#include <map>
#include <string>

#include <QMetaObject>

#include "vqrt/plugin.h"

class CBaseVantryIO;
class CFileIO;
class CHostAgent;
class COptionsDlg;
class CRegistryReader;
class CVantryTools;

/// The ICQ importer: finds the owners of a Windows ICQ client and imports one of them.
class tarvex : public plugin {
public:
    /// One ICQ owner: where the owner file lies and whether the owner has sounds of their own.
    struct structProfileData {
        structProfileData(std::string path, bool sounds)
            : uinFilePath(std::move(path)), soundsPresent(sounds) {}
        std::string uinFilePath;
        bool soundsPresent;
    };

    explicit tarvex(CArbiter* arbiter);
    ~tarvex() override;
    tarvex(const tarvex&) = delete;
    tarvex& operator=(const tarvex&) = delete;

    char* getName(char* buffer, int length) override;
    char* getDescription(char* buffer, int length) override;
    char* getToolTip(char* buffer, int length) override;
    char* getMajorCategory(char* buffer, int length) override;
    char* getMinorCategory(char* buffer, int length) override;
    char* getInternalCategory(char* buffer, int length) override;
    version_t* getVersion(version_t* version) override;
    version_t* getMinEngineVersion(version_t* version) override;
    bool getIcon(CVantryBitmap& bitmap) override;
    int32_t getBlockCount() override;
    long* getProperties(long* properties) override;
    bool checkDependency() override;
    int32_t activatePlugin(CBaseVantryIO* io, long flags) override;
    int32_t showDlg(long flags, void* parent) override;
    void hideDlg(long flags) override;

    /// Writes a sound file's Windows path to `io` as its quoted local path under `key`.
    void HandleFile(CBaseVantryIO* io, CVantryTools* tools, const char* windowsPath,
                    const char* key);

    int32_t icqVersion = 0;
    char icqDir[256] = {};
    char ownerUin[256] = {};
    char uinDir[256] = {};
    char contactsDbPath[256] = {};
    /// A Qt child of the first showDlg() parent; never deleted here.
    COptionsDlg* optionsDlg;
    /// Owner nickname to owner record, in byte order; the map owns its records.
    std::map<std::string, structProfileData*> profileMap;

private:
    /// Replaces the record stored under `nickname`, releasing the old one.
    void storeProfile(const std::string& nickname, structProfileData* record);
    /// Releases every record and empties the map.
    void clearProfiles();
    /// The contact list of the owner in `ownerUin`; false when the user cancelled.
    bool exportContacts(CBaseVantryIO* io, CHostAgent* agent, CFileIO* file);
    /// The sound settings of the owner in `ownerUin`.
    void exportSounds(CBaseVantryIO* io, CRegistryReader* registry, CVantryTools* tools);

    /// Clears `optionsDlg` when the host destroys the page's parent.
    QMetaObject::Connection dialogGone;
};
