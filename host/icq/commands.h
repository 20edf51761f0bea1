#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/database.h"
#include "options.h"
#include "progress/progressline.h"

namespace icq {

using progress::ProgressLine;
using progress::ProgressSource;

/// Exit statuses.
constexpr int kDone = 0;
constexpr int kLaterFormat = 1;
constexpr int kUnusable = 2;

/// Prints "tolvane-icq: <line>" on standard error and answers `status`.
int fail(int status, const std::string& line);

/// The progress line `o` asks for: lines with --progress-lines, otherwise drawn on a terminal
/// for large databases unless -q.
ProgressLine progressLine(const Options& o);

/// Opens `path` as `o` says, telling `line` how the reading goes and handing `visit` the
/// messages as the walk finds them (see Database::open). Null when it cannot, with the reason
/// printed and `status` set: kLaterFormat for a database of ICQ 2003b or later, kUnusable for
/// anything else.
std::unique_ptr<archive::Database>
openDatabase(const std::string& path, const Options& o, ProgressLine& line, int& status,
             const std::function<bool(const archive::Message&)>& visit = {});

/// With -v, every warning of the reading on standard error.
void printWarnings(const archive::Report& report, const Options& o);

int runInfo(const Options& o);
int runContacts(const Options& o);
int runHistory(const Options& o);
int runExport(const Options& o);

} // namespace icq
