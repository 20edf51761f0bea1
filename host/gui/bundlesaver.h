#pragma once

#include <string>

namespace gui {

/// Copies the import record bundle in `staging` (record.json and the files in files/) into
/// the folder `target`, creating it when missing. The carried files are copied first, each
/// through a temporary file renamed into place; record.json comes last, written to a
/// temporary file, synced and renamed over an earlier one. So a failed save never leaves a
/// half-written record.json: `target` keeps its earlier record.json, or has none. record.json
/// is readable by its owner only (it holds the ICQ password). Answers false with one line in
/// `error` naming the file and the cause; `filesCopied` (when not null) receives the number of
/// carried files written.
bool saveBundle(const std::string& staging, const std::string& target, std::string& error,
                int* filesCopied = nullptr);

} // namespace gui
