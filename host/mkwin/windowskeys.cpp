#include "windowskeys.h"

namespace mkwin {

namespace {

constexpr LayoutInfo kLayouts[] = {
    {"xp", "WINDOWS", "Documents and Settings", "Default User", "All Users", "Microsoft Windows XP",
     "5.1", "2600", "Service Pack 3"},
    {"vista", "Windows", "Users", "Default", "Public", "Windows Vista (TM) Business", "6.0", "6002",
     "Service Pack 2"},
    {"7", "Windows", "Users", "Default", "Public", "Windows 7 Professional", "6.1", "7601",
     "Service Pack 1"},
    {"nt", "WINNT", "Documents and Settings", "Default User", "All Users", "Microsoft Windows 2000",
     "5.0", "2195", "Service Pack 4"},
    {"98", "WINDOWS", "WINDOWS\\Profiles", "Default", "All Users", "Microsoft Windows 98", "4.10",
     "2222", " A "},
};

bool modern(Layout layout) {
    return layout == Layout::Vista || layout == Layout::Seven;
}

// "C:\<profiles>\<user>" in Windows form; Windows 98's template profile is the Windows folder.
std::string profilePath(Layout layout, const std::string& user) {
    const LayoutInfo& info = layoutInfo(layout);
    if (layout == Layout::Win98 && (user == info.defaultProfile || user == info.sharedProfile)) {
        return std::string("C:\\") + info.windowsDir +
               (user == info.sharedProfile ? "\\" + user : std::string());
    }
    return std::string("C:\\") + info.profilesDir + "\\" + user;
}

// Windows 95, 98 and ME keep their version below Windows\CurrentVersion, NT below Windows NT.
void addWin98Version(const LayoutInfo& info, const std::string& owner,
                     const std::string& ownerOrigin, RegistryTree& software) {
    const std::string origin = "layout";
    const std::string cv = "Microsoft\\Windows\\CurrentVersion";
    software.setString(cv, "ProductName", info.productName, origin);
    software.setString(cv, "Version", "Windows 98", origin);
    software.setString(cv, "VersionNumber", std::string(info.version) + "." + info.build, origin);
    software.setString(cv, "SubVersionNumber", info.servicePack, origin);
    software.setString(cv, "RegisteredOwner", owner, ownerOrigin);
    software.setString(cv, "RegisteredOrganization", "", origin);
    software.setString(cv, "SystemRoot", std::string("C:\\") + info.windowsDir, origin);
    software.setString(cv, "ProductId", "55274-OEM-0011903-00102", origin);
}

// The version keys of Windows NT, 2000, XP and later.
void addNtVersion(const LayoutInfo& info, const std::string& owner, const std::string& ownerOrigin,
                  RegistryTree& software) {
    const std::string origin = "layout";
    const std::string systemRoot = std::string("C:\\") + info.windowsDir;
    const std::string nt = "Microsoft\\Windows NT\\CurrentVersion";
    software.setString(nt, "ProductName", info.productName, origin);
    software.setString(nt, "CurrentVersion", info.version, origin);
    software.setString(nt, "CurrentBuildNumber", info.build, origin);
    software.setString(nt, "CSDVersion", info.servicePack, origin);
    software.setString(nt, "CurrentType", "Uniprocessor Free", origin);
    software.setString(nt, "RegisteredOwner", owner, ownerOrigin);
    software.setString(nt, "RegisteredOrganization", "", origin);
    software.setString(nt, "SystemRoot", systemRoot, origin);
    software.setString(nt, "PathName", systemRoot, origin);
    software.setString(nt, "SoftwareType", "SYSTEM", origin);
    software.setString(nt, "ProductId", "55274-640-2673064-23950", origin);
    software.setDword(nt, "InstallDate", 1009843200, origin); // 2002-01-01
    software.setString(nt + "\\Winlogon", "Shell", "Explorer.exe", origin);
    software.setString(nt + "\\Winlogon", "Userinit", systemRoot + "\\system32\\userinit.exe,",
                       origin);
}

} // namespace

const LayoutInfo& layoutInfo(Layout layout) {
    return kLayouts[static_cast<int>(layout)];
}

RelativePath profileDir(Layout layout, const std::string& user) {
    if (layout == Layout::Win98) {
        return {layoutInfo(layout).windowsDir, "Profiles", user};
    }
    return {layoutInfo(layout).profilesDir, user};
}

std::vector<RelativePath> systemFolders(Layout layout) {
    const LayoutInfo& info = layoutInfo(layout);
    if (layout == Layout::Win98) {
        return {{info.windowsDir, "SYSTEM"},       {info.windowsDir, "Media"},
                {info.windowsDir, "Fonts"},        {info.windowsDir, "Desktop"},
                {info.windowsDir, "All Users"},    {"My Documents"},
                {"Program Files", "Common Files"}, {"Program Files", "Internet Explorer"}};
    }
    std::vector<RelativePath> folders = {
        {info.windowsDir, "System32", "config"},
        {info.windowsDir, "Media"},
        {info.windowsDir, "Fonts"},
        {"Program Files", "Common Files"},
        {"Program Files", "Internet Explorer"},
        {info.profilesDir, info.sharedProfile, "Desktop"},
        {info.profilesDir, info.defaultProfile, modern(layout) ? "Documents" : "My Documents"},
    };
    if (modern(layout)) {
        folders.push_back({"ProgramData"});
    }
    return folders;
}

std::vector<RelativePath> profileFolders(Layout layout, const std::string& user) {
    const auto below = [&](std::initializer_list<const char*> names) {
        RelativePath path = profileDir(layout, user);
        path.insert(path.end(), names.begin(), names.end());
        return path;
    };
    if (modern(layout)) {
        return {below({"Desktop"}), below({"Documents"}),
                below({"AppData", "Roaming", "Microsoft"}), below({"AppData", "Local", "Temp"})};
    }
    if (layout == Layout::Win98) {
        return {below({"Desktop"}), below({"Application Data", "Microsoft"}),
                below({"Start Menu", "Programs"})};
    }
    return {below({"Desktop"}), below({"My Documents", "My Music"}),
            below({"Application Data", "Microsoft"}), below({"Local Settings", "Temp"})};
}

void addMachineKeys(Layout layout, const std::string& owner, const std::string& ownerOrigin,
                    RegistryTree& software) {
    const LayoutInfo& info = layoutInfo(layout);
    const std::string origin = "layout";
    if (layout == Layout::Win98) {
        addWin98Version(info, owner, ownerOrigin, software);
    } else {
        addNtVersion(info, owner, ownerOrigin, software);
    }

    const std::string cv = "Microsoft\\Windows\\CurrentVersion";
    software.setString(cv, "ProgramFilesDir", "C:\\Program Files", origin);
    software.setString(cv, "CommonFilesDir", "C:\\Program Files\\Common Files", origin);
    software.setExpandString(cv, "DevicePath", "%SystemRoot%\\inf", origin);
    software.setExpandString(cv, "MediaPath", "%SystemRoot%\\Media", origin);
    software.setString(cv + "\\App Paths\\IEXPLORE.EXE", "",
                       "C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE", origin);
    software.setString(cv + "\\App Paths\\IEXPLORE.EXE", "Path",
                       "C:\\Program Files\\Internet Explorer;", origin);
    software.setExpandString(cv + "\\App Paths\\WORDPAD.EXE", "",
                             "\"%ProgramFiles%\\Windows NT\\Accessories\\WORDPAD.EXE\"", origin);
    software.setString(cv + "\\App Paths\\wmplayer.exe", "",
                       "C:\\Program Files\\Windows Media Player\\wmplayer.exe", origin);
    software.setString(cv + "\\Explorer\\Shell Folders", "Common Desktop",
                       profilePath(layout, info.sharedProfile) + "\\Desktop", origin);
    software.setString(cv + "\\Uninstall\\IE40", "DisplayName", "Internet Explorer", origin);
    software.key(cv + "\\Run");

    software.setString("Classes\\.txt", "", "txtfile", origin);
    software.setString("Classes\\.txt", "Content Type", "text/plain", origin);
    software.setString("Classes\\txtfile", "", "Text Document", origin);
    software.setExpandString("Classes\\txtfile\\shell\\open\\command", "",
                             "%SystemRoot%\\system32\\NOTEPAD.EXE %1", origin);
    software.setString("Classes\\.wav", "", "soundrec", origin);
    software.setString("Classes\\.wav", "Content Type", "audio/wav", origin);
    software.setString("Classes\\.ini", "", "inifile", origin);
    software.setString("Microsoft\\Internet Explorer", "Version", "6.0.2900.5512", origin);
    software.setString("Microsoft\\DirectX", "Version", "4.09.00.0904", origin);
    software.setDword("Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced", "Hidden", 2,
                      origin);
}

void addUserKeys(Layout layout, const std::string& user, const std::string& origin,
                 RegistryTree& hive) {
    const LayoutInfo& info = layoutInfo(layout);
    const std::string profile = profilePath(layout, user.empty() ? info.defaultProfile : user);
    hive.setString("Control Panel\\Desktop", "ScreenSaveActive", "1", origin);
    hive.setString("Control Panel\\Desktop", "TileWallpaper", "0", origin);
    hive.setString("Control Panel\\Desktop", "Wallpaper",
                   std::string("C:\\") + info.windowsDir + "\\Web\\Wallpaper\\Bliss.bmp", origin);
    hive.setString("Control Panel\\International", "Locale", "00000409", origin);
    hive.setString("Control Panel\\International", "sCountry", "United States", origin);
    hive.setString("Control Panel\\International", "sShortDate", "M/d/yyyy", origin);
    hive.setDword("Console", "FontSize", 0x000C0000, origin);
    hive.setDword("Console", "ScreenBufferSize", 0x012C0050, origin);
    hive.setString("Keyboard Layout\\Preload", "1", "00000409", origin);
    const std::string temp = modern(layout) ? "%USERPROFILE%\\AppData\\Local\\Temp"
                                            : "%USERPROFILE%\\Local Settings\\Temp";
    hive.setExpandString("Environment", "TEMP", temp, origin);
    hive.setExpandString("Environment", "TMP", temp, origin);
    hive.setExpandString("AppEvents\\Schemes\\Apps\\.Default\\SystemAsterisk\\.Current", "",
                         "%SystemRoot%\\media\\ding.wav", origin);
    hive.setString("AppEvents\\Schemes", "", ".Default", origin);

    const std::string shell =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    hive.setString(shell, "Desktop", profile + "\\Desktop", origin);
    if (modern(layout)) {
        hive.setString(shell, "Personal", profile + "\\Documents", origin);
        hive.setString(shell, "AppData", profile + "\\AppData\\Roaming", origin);
        hive.setString(shell, "Local AppData", profile + "\\AppData\\Local", origin);
    } else {
        hive.setString(shell, "Personal", profile + "\\My Documents", origin);
        hive.setString(shell, "AppData", profile + "\\Application Data", origin);
        hive.setString(shell, "Local AppData", profile + "\\Local Settings\\Application Data",
                       origin);
    }
    hive.setString("Software\\Microsoft\\Internet Explorer\\Main", "Start Page",
                   "http://www.msn.com/", origin);
    hive.setDword("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced", "HideFileExt",
                  1, origin);
    hive.key("Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    hive.key("Printers");
}

} // namespace mkwin
