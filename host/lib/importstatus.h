#pragma once

// How tolvane-import ends: its exit statuses, which the window reads back from its child run.

namespace vqrt {

/// Everything chosen was carried and the record is saved.
constexpr int kImportComplete = 0;
/// Nothing was written: no installation, no owner, a failed save, a refused output folder.
constexpr int kImportRefused = 1;
/// The command line or the page state cannot be used.
constexpr int kImportUsage = 2;
/// The record is saved, but something chosen (a sound file, the contact database) was not carried.
constexpr int kImportNotAllCarried = 3;

/// A run stopped by `signal` ends with 128 + its number, as a shell reports it.
constexpr int importStoppedBy(int signal) {
    return 128 + signal;
}

} // namespace vqrt
