#pragma once

#include <optional>
#include <string>
#include <vector>

#include "regtree.h"

namespace mkwin {

/// The two formats regedit exports.
enum class RegExportFormat {
    Regedit4, ///< "REGEDIT4", texts in the installation's 8-bit code page
    Version5, ///< "Windows Registry Editor Version 5.00", UTF-16LE with a byte-order mark
};

/// One branch of an export: `tree` below the key `rootPath` ("HKEY_LOCAL_MACHINE\SOFTWARE").
struct RegExportBranch {
    std::string rootPath;
    const RegistryTree* tree = nullptr;
};

/// The bytes of a .reg file holding the branches in order, written as regedit writes them
/// (CRLF line ends, keys in regedit's order, long hex data continued with "\"). REGEDIT4
/// texts are converted to `codepage`; nothing, with one line in `error` naming the value's
/// origin, when a text cannot be.
std::optional<std::string> regExport(const std::vector<RegExportBranch>& branches,
                                     RegExportFormat format, const std::string& codepage,
                                     std::string& error);

} // namespace mkwin
