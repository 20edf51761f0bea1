#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "fdio.h"
#include "recordlog.h"
#include "text/codepage.h"
#include "vqrt/vantryio.h"

namespace vqrt {

/// Receives one line per problem (a file not carried, a record not saved).
using WarningSink = std::function<void(const std::string&)>;

/// How a RecordWriter decodes texts and where it reports.
struct RecordWriterOptions {
    /// The Windows ANSI code page of the installation; an iconv name.
    std::string codepage = "CP1252";
    /// Where warnings go; empty means standard error.
    WarningSink warn;
};

/// The import record bundle: `record.json` and the carried files in `files/` of one folder.
///
/// The record is kept compact (RecordLog) and saved by streaming it, so memory and save time
/// stay small beside the contact database even for a hundred thousand contacts.
///
/// Every text the plug-in hands over is made valid UTF-8 (kept when it is UTF-8 already,
/// decoded from the code page otherwise). Sections, values and files are kept in call order.
/// Saving is atomic: an earlier `record.json` is replaced only by a complete new one.
///
/// A file carried again with the same name and the same bytes refers to the copy already in
/// `files/`; other name collisions get "-2", "-3", ... before the extension, and nothing there
/// is overwritten. A copy is written under a temporary name and renamed when whole, holes of a
/// sparse file stay holes, and a file larger than 64 MiB is not carried. `record.json` is
/// readable by its owner only, since it holds the ICQ owner's password.
class RecordWriter : public CBaseVantryIO {
public:
    /// A record of `pluginName` that will be saved into `outputDirectory`.
    RecordWriter(std::string outputDirectory, std::string pluginName,
                 RecordWriterOptions options = {});
    ~RecordWriter() override;
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    /// Opens a section inside the innermost open one, or at the top.
    void beginSection(const char* name) override;
    /// Adds a text value to the innermost open section (a nameless top section when none is).
    void writeValue(const char* key, const char* value) override;
    /// Closes the innermost open section; without one it does nothing.
    void endSection() override;
    /// Marks the record complete and saves it.
    void flush() override;
    /// Copies the regular file at the absolute path `quotedLocalPath` (one pair of surrounding
    /// double quotes is removed) into `files/` and records both; a file that cannot be copied
    /// is recorded with "carried": null and reported in one line.
    void writeFileValue(const char* quotedLocalPath, const char* key) override;

    /// What activatePlugin answered.
    void setResult(int result);
    /// Messages name `folder` in place of the one written to, such as the output folder that
    /// a run's staging folder is moved into.
    void showAs(std::string folder) { shownDirectory_ = std::move(folder); }
    /// Saves the record unless the last save already holds everything (called at the end of
    /// every run, so a cancelled or failed run keeps what the record held).
    void finish();
    /// True when the last save did not reach `record.json`.
    bool lastSaveFailed() const { return !lastSaveError_.empty(); }
    /// The one-line cause of the last failed save; empty after a good one.
    const std::string& lastSaveError() const { return lastSaveError_; }
    /// True once flush() was called.
    bool complete() const { return complete_; }
    /// The record as it stands.
    nlohmann::ordered_json json() const;
    /// The record without the entries that are sections (such as each contact): what a
    /// summary needs, small whatever the record holds.
    nlohmann::ordered_json outline() const;
    /// Writes the text of `record.json` to the file descriptor `fd`; 0, or the errno of the
    /// write that failed.
    int writeText(int fd) const;

private:
    std::string utf8(const char* text) const;
    /// `text` as UTF-8: the text itself when it is, else decoded into `scratch`.
    std::string_view utf8(const char* text, std::string& scratch) const;
    void warn(const std::string& line) const;
    /// The fields of the record before its sections.
    nlohmann::ordered_json header() const;
    bool save();
    std::optional<std::string> carry(const std::string& source);
    std::optional<std::string> copyUnderFreeName(int in, off_t size, const std::string& name,
                                                 std::string& cause);
    /// The first name of `stem-N.extension` in `files/` that is free or holds these bytes.
    std::string freeName(int dir, int in, off_t size, const std::string& name, bool& same) const;
    int filesDirectory(std::string& cause);
    bool makeOutputDirectory(std::string& cause) const;
    /// `name` inside the output folder, as messages show it.
    std::string shown(const std::string& name) const;
    std::string safeFileName(const std::string& rawName) const;

    std::string outputDirectory_;
    std::string shownDirectory_;
    std::string pluginName_;
    RecordWriterOptions options_;
    text::CodepageDecoder decoder_;
    RecordLog log_;
    int result_ = 0;
    bool complete_ = false;
    bool dirty_ = true; ///< the record changed since the last good save, or was never saved
    std::string lastSaveError_;
    UniqueFd filesFd_; ///< the opened `files/` folder, once a file is carried
};

} // namespace vqrt
