#pragma once

// A sample Windows installation with ICQ, built from a JSON description. Texts are UTF-8;
// every key is optional unless marked "required"; null counts as absent. Unknown keys are
// errors. Windows paths are absolute on drive C: ("C:\\Program Files\\ICQ"); C:\ is the root
// folder given to the builder, and nothing is ever written outside it.
//
// {
//   "layout":   "xp" | "vista" | "7" | "nt" | "98"   default "xp"
//               xp: WINDOWS, Documents and Settings\<user>; vista, 7: Windows, Users\<user>;
//               nt (Windows 2000): WINNT, Documents and Settings\<user>; 98: WINDOWS,
//               WINDOWS\Profiles\<user>, registry in SYSTEM.DAT and USER.DAT
//   "users":    ["Alice", "Bob"]                      profile folders; default ["User"], for
//                                                     98 []; [] none
//   "icqUser":  "Alice"                               whose HKEY_CURRENT_USER holds ICQ's keys;
//                                                     default the first user; null: nobody's
//   "codepage": "CP1252"                              iconv name; owner files and databases
//                                                     are written in it (hives hold UTF-16LE)
//   "registry": "hive" | "reg4" | "reg5" | {"format": ..., "file": "C:\\registry.reg",
//                                           "userFile": "C:\\user.reg"}
//               hive: <Windows>\System32\config\SOFTWARE and each profile's NTUSER.DAT;
//               reg4/reg5: no hives, one REGEDIT4 (code page) or version 5 (UTF-16LE) export
//               of HKLM\SOFTWARE and the ICQ user's HKCU at "file" (default C:\registry.reg),
//               HKCU in "userFile" instead when given
//   "icq": {                                          absent: no ICQ at all
//     "installed": true,                              false: no App Paths key, no ICQ.exe
//     "folder":    "C:\\Program Files\\ICQ",
//     "appPath":   "...",                             App Paths default value; default
//                                                     <folder>\ICQ.exe
//     "version":   2000,                              "ICQ Version" dword; absent: none
//     "server":    {"host": "login.icq.com", "port": 5190},   each absent: no value
//     "defaultSounds": {EVENT: SOUND, ...},           DefaultPrefs\Sounds
//     "owners": [{
//       "uin":       12345 | "0012345",               required; number or decimal text
//       "nickname":  "Rover" | null,                  required; null: no NickName line
//       "file":      "12345.uin",                     owner file name in <folder>\uin
//       "lineEnd":   "crlf" | "lf",                   default "crlf"
//       "firstName": "", "lastName": "", "email": "", owner file and database owner record
//       "playSound": "Yes",                           Owners\<UIN>\Prefs "PlaySound"
//       "sounds":    {EVENT: SOUND, ...},             Owners\<UIN>\Prefs\Sounds
//       "database":  {                                absent: no database file
//         "folder": "2000a",                          default "2000a" when version > 319,
//                                                     else "Db99b"; <folder>\<f>\<UIN>.dat
//         "build": 465,                               the writing client's build; default by
//                                                     folder (Db99b 319, 2000a 450, ...)
//         "index": true,                              false: no <UIN>.idx beside the .dat
//         "groups": [{"id": 1000, "name": "Friends"}],
//         "generated": 40,                            realistic contacts (realisticIcqDatabase)
//         "historyBytes": 300000, "historyMessages": 500, "seed": 1,
//                                                     generated history; generation seed
//         "contacts": [{"uin": 1, "nickname": "", "firstName": "", "lastName": "",
//                       "handle": "", "email": "", "moreEmails": [""],
//                       "status": "list" | "awaiting" | "removed" | "ignored" | 7,
//                       "group": 1000, "build": 319}] after the generated ones; a property is
//                                                     written only when given
//         "messages": [{"uin": 1, "time": "2002-11-23 19:02:11" | 1038078131,
//                       "direction": "in" | "out", "kind": "message" | "url" | "added" | ...,
//                       "text": "", "url": "", "nickname": "", "firstName": "",
//                       "lastName": "", "email": "", "contacts": [{"uin", "nickname"}],
//                       "long": false, "utf8Only": false, "deleted": false, "build": 0}]
//       }
//     }]
//   },
//   "extraValues": [{"root": "HKLM" | "HKCU" (or the long names), "key": "SOFTWARE\\...",
//                    "name": "" (default value), "type": "sz" | "expand_sz" | "dword" |
//                    "binary" | <type number>, "value": text | number | "01,ff" (hex),
//                    "user": "Bob" (HKCU of another user)}],   set last: they override
//   "extraFiles":  [{"path": "C:\\...", "text": "..." (in the code page) | "hex": "00,ff"}]
// }
//
// SOUND is a Windows path, or {"path": ..., "missing": true} for a value without its file.
// Every sound path on C: that is not missing becomes a small WAV file. Folders are matched
// without regard to case, as on Windows: the first spelling of a folder is the one created.

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "description.h"

namespace mkwin {

/// Builds the Windows installation that `description` describes under the folder `root`
/// (created if missing). False with one line in `error` naming what is wrong.
bool buildInstallation(const nlohmann::json& description, const std::string& root,
                       std::string& error);

/// Writes a parsed installation under `root` (created if missing). False with one line in
/// `*error` naming the local path and the cause.
bool writeInstallation(const Installation& installation, const std::string& root,
                       std::string& error);

/// The .reg files an installation has, relative to its root (none for hives).
std::vector<RelativePath> registryFiles(const Installation& installation);

/// What an import from the installation finds: the ICQ user, the .reg files to give the host,
/// the version the importer sees, and for each owner its UIN, nickname, owner file, the
/// database the contacts export reads and the contacts it exports, in the record's words
/// ("UIN", "First_Name", "Last_Name", "Description", "Nickname", "Email"), as UTF-8.
nlohmann::ordered_json expectedImport(const Installation& installation);

} // namespace mkwin
