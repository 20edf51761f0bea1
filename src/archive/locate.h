#pragma once

#include <map>
#include <string>
#include <vector>

namespace archive {

/// The database file that `given` stands for. People who kept only their ICQ folder name the
/// folder, or the index beside the data file, as often as the data file itself:
/// - a folder stands for the one <UIN>.dat in it or, when it holds none, in its version
///   folders (2003a, 2002a, 2001a, 2000b, 2000a, Db99b, NewDB, in this order, the first one
///   of each UIN kept); without any, for a folder in it or one further down that holds the
///   tables of ICQ 2003b or later, which opening refuses by name;
/// - a <UIN>.idx stands for the <UIN>.dat beside it;
/// - anything else stands for itself, and opening it says what it is.
/// Empty with `problem` set when a folder holds no database, or the databases of several
/// owners.
std::string locateDatabase(const std::string& given, std::string& problem);

/// The index beside the data file `datPath`: its name with the extension ".idx" in any case
/// (".idx" itself preferred); empty when there is none.
std::string indexBeside(const std::string& datPath);

/// The <UIN>.dat files in `folder` or, when it holds none, in its version folders, by UIN;
/// empty when there are none.
std::vector<std::string> databasesIn(const std::string& folder);

/// Every <UIN>.dat in `folder` and in the folders below it, down to `depth` levels (links to
/// folders and Windows' own folder not followed; at most `maxFolders` folders looked into, the
/// nearest first), by UIN, each UIN's files
/// sorted by path. People keep dated copies of their ICQ folder side by side, and an upgraded
/// ICQ leaves the older version's database beside the newer one's.
std::map<unsigned long long, std::vector<std::string>>
databaseCopiesIn(const std::string& folder, int depth = 4, size_t maxFolders = 10000);

/// The copies of databaseCopiesIn(folder) that lie inside `folder` once links are followed,
/// by UIN; those a link leads out of it to are not read, and go to `outside` as found.
std::map<unsigned long long, std::vector<std::string>>
databaseCopiesInside(const std::string& folder, std::vector<std::string>& outside);

} // namespace archive
