#include "options.h"

#include <iostream>

#include <CLI/CLI.hpp>

#include "archive/exporterror.h"
#include "archive/timefmt.h"

#include "tolvane_config.h"

namespace cli {

namespace {

const char* const kExamples = R"(
Choosing the owner:
  --owner takes a nickname as --list shows it (without regard to case when only one owner
  matches that way) or an owner's UIN. With one owner it is not needed. With several and no
  --owner, a terminal asks which; without a terminal the run stops (exit 2) and names them.
  Two owners with one nickname: the importer reaches only the later one (--list says which).
  The other, chosen by its UIN, gets its ICQ archive written into --out without a record
  (exit 3).

What is printed:
  Normally progress, warnings and a summary on standard error and output. -q prints errors
  only, and with exit 3 the one line that says what was not carried (the warnings that named
  it are left out); with --progress-lines the progress, message and warning lines stay, for the
  program that reads them. -v adds what the program did: the hives and .reg files read, the
  owner's contact database (path and ICQ version), the confinement, each sound file carried. --debug adds the
  plug-in's own trace lines and Qt's messages.

Examples:
  List the owners with their UINs, contacts and messages; import "Rover" from a disk whose
  user is Alice, without sounds, with the password in a file:
    tolvane-import --windows-root /mnt/old --user Alice --list
    tolvane-import --windows-root /mnt/old --user Alice --owner Rover \
        --password-file ~/.icq-pass --no-sounds --out ~/icq-import

  Import from an old XP disk mounted at /mnt/winxp, choosing the owner and typing the
  password on the terminal:
    tolvane-import --windows-root /mnt/winxp --out ~/icq-import

Exit status: 0 complete import; 3 complete, but something chosen was not carried (a sound
file, the owner's contact database, or the record of an owner the importer cannot reach: the
summary names it); 1 the plug-in refused, found no ICQ, or the import did not complete; 2 bad
arguments, no owner chosen, an unusable Windows installation or output folder, another import
writing to it, or a record of another owner or installation in it (see --replace); 130, 143,
129 stopped by SIGINT (Ctrl-C), SIGTERM, SIGHUP. A run that does not complete leaves an
earlier record in --out as it was.
)";

// "D=/mnt/d" (or "D:=/mnt/d") into the drive map.
std::string addDrive(vqrt::HostOptions& host, const std::string& text) {
    char letter = 0;
    std::string folder;
    std::string error;
    if (vqrt::parseDrive(text, letter, folder, error)) {
        host.drives[letter] = folder;
    }
    return error;
}

// Declares every option, bound to `o`, `drives` and `info`; answers the --info option.
const CLI::Option* declareOptions(CLI::App& app, Options& o, std::vector<std::string>& drives,
                                  std::string& info) {
    app.name("tolvane-import");
    app.footer(kExamples);
    app.get_formatter()->column_width(34);
    app.set_version_flag("--version", "tolvane-import " TOLVANE_VERSION,
                         "print the program's name and version and exit");

    app.add_option("--windows-root", o.host.windowsRoot,
                   "the root of the mounted Windows system volume (drive C:)");
    app.add_option("--user", o.host.user, "the Windows user whose ICQ is imported");
    app.add_option("--reg", o.host.regFiles,
                   "a .reg export layered over the hives (repeatable; later ones win)");
    app.add_option("--drive", drives, "another drive: LETTER=DIR (repeatable)");
    app.add_option_function<std::string>(
        "--codepage",
        [&o](const std::string& codepage) {
            o.host.codepage = codepage;
            o.codepageGiven = true;
        },
        "the installation's ANSI code page (default CP1252)");
    app.add_option("--out", o.out, "the folder that receives record.json and files/");
    app.add_flag("--replace", o.replace,
                 "replace a record of another owner or installation in --out");
    app.add_option("--owner", o.owner,
                   "the ICQ owner to import: a nickname as --list prints it, or a UIN");
    auto* file = app.add_option("--password-file", o.passwordFile,
                                "read the owner password from the first line of a file");
    auto* stdinFlag =
        app.add_flag("--password-stdin", o.passwordStdin, "read the owner password from stdin");
    file->excludes(stdinFlag);
    app.add_flag("--page-state-stdin", o.pageStateStdin,
                 "set the options page from a JSON page state on stdin (the desktop window's)")
        ->excludes(stdinFlag);
    app.add_flag("--progress-lines", o.progressLines,
                 "report progress as \"progress DONE TOTAL\" and messages as \"message TEXT\" "
                 "lines on stderr; the ICQ archive's reading and writing follow as "
                 "\"stage TEXT\" and \"progress PERCENT 100\"");
    app.add_flag("--no-server", o.noServer, "do not import the ICQ server settings");
    app.add_flag("--no-user-settings", o.noUserSettings, "do not import the owner's account");
    auto* noContacts = app.add_flag("--no-contacts", o.noContacts, "do not import contacts");
    app.add_flag("--overwrite-contacts", o.overwriteContacts,
                 "replace the current contact list instead of adding to it")
        ->excludes(noContacts);
    auto* noSounds = app.add_flag("--no-sounds", o.noSounds, "do not import sound settings");
    app.add_flag("--default-sounds", o.defaultSounds,
                 "import ICQ's default sounds instead of the owner's own")
        ->excludes(noSounds);
    app.add_flag("--list", o.list,
                 "print each ICQ owner with UIN, contacts on the list and messages, and exit");
    app.add_flag("--json", o.json, "print the record to standard output");
    auto* quiet = app.add_flag("-q,--quiet", o.quiet, "print errors only (see below)");
    app.add_flag("-v,--verbose", o.verbose, "also print what the program reads and writes")
        ->excludes(quiet);
    app.add_flag("--debug", o.debug, "-v with the plug-in's and Qt's own lines")->excludes(quiet);
    auto* infoOption = app.add_option("--info", info,
                                      "print the identity of a plug-in (PLUGIN.so, or the one "
                                      "of --plugin) and exit")
                           ->expected(0, 1);
    app.add_option("--icon", o.icon, "with --info: save the plug-in's icon as an XPM file")
        ->needs(infoOption);
    app.add_option("--plugin", o.plugin,
                   "the plug-in library (default: the one installed beside this program)");
    return infoOption;
}

// Declares the options of the archive written beside the record; --time-offset goes to
// `offset` as given.
void declareArchiveOptions(CLI::App& app, ArchiveOptions& archive, std::string& offset) {
    auto* noArchive = app.add_flag(
        "--no-archive", [&archive](int64_t) { archive.enabled = false; },
        "write no ICQ archive (contacts.vcf, contacts.csv, history/, icq-archive.sqlite) "
        "beside the record");
    app.add_flag("--all-contacts", archive.allContacts,
                 "the archive's contacts.vcf and contacts.csv also hold contacts not on the list")
        ->excludes(noArchive);
    app.add_option_function<std::string>(
           "--time-zone",
           [&archive](const std::string& zone) {
               archive.timeZone = zone;
               archive.zoneGiven = true;
           },
           "the zone the archive shows times in, an IANA name such as Europe/Stockholm "
           "(default UTC)")
        ->excludes(noArchive);
    app.add_option("--time-offset", offset,
                   "added to the database's stored stamps to get UTC, +HH:MM or -HH:MM "
                   "(default 0)")
        ->excludes(noArchive);
    app.add_flag("--deleted-folder", archive.deletedFolder,
                 "the archive also holds the messages moved to ICQ's Deleted folder, marked")
        ->excludes(noArchive);
    app.add_flag(
           "--no-index", [&archive](int64_t) { archive.useIndex = false; },
           "read the archive through the database's pages, not its .idx")
        ->excludes(noArchive);
}

// The archive's time settings checked; empty, or the line that says what is wrong.
std::string setTimes(ArchiveOptions& archive, const std::string& offset) {
    if (!archive::parseOffset(offset, archive.timeOffset)) {
        return "--time-offset " + offset + ": expected +HH:MM or -HH:MM, such as +01:00";
    }
    try {
        archive::TimeZone zone(archive.timeZone);
    } catch (const archive::ExportError& e) {
        return "--time-zone " + std::string(e.what());
    }
    return {};
}

// What the parser cannot check: the drives, and the options every run needs. Answers the line
// to print, empty when all is well.
std::string checkOptions(Options& o, bool ownerGiven, const std::vector<std::string>& drives,
                         const std::string& offset) {
    for (const std::string& d : drives) {
        const std::string error = addDrive(o.host, d);
        if (!error.empty()) {
            return error;
        }
    }
    if (ownerGiven && o.owner.empty()) {
        return "--owner needs a nickname or UIN (see --list)";
    }
    if (o.host.windowsRoot.empty()) {
        return "--windows-root DIR is required (see --help)";
    }
    if (o.out.empty() && !o.list && !o.json) {
        return "--out DIR is required (or --list, or --json) (see --help)";
    }
    o.archive.progressLines = o.progressLines;
    o.archive.progressDrawn = !o.quiet;
    return setTimes(o.archive, offset);
}

} // namespace

std::optional<Options> parseOptions(int argc, char** argv, int& status) {
    Options o;
    CLI::App app{"tolvane-import: imports an ICQ owner's account, contacts and sounds from a "
                 "mounted Windows installation"};
    std::vector<std::string> drives;
    std::string info;
    const CLI::Option* infoOption = declareOptions(app, o, drives, info);
    std::string offset = "0";
    declareArchiveOptions(app, o.archive, offset);
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        status = app.exit(e);
        return std::nullopt;
    } catch (const CLI::ParseError& e) {
        std::cerr << "tolvane-import: " << e.what() << " (see --help)\n";
        status = 2;
        return std::nullopt;
    }
    if (*infoOption) {
        o.info = info;
        return o;
    }
    o.verbose = o.verbose || o.debug;
    if (const std::string error = checkOptions(o, app.count("--owner") > 0, drives, offset);
        !error.empty()) {
        std::cerr << "tolvane-import: " << error << "\n";
        status = 2;
        return std::nullopt;
    }
    return o;
}

} // namespace cli
