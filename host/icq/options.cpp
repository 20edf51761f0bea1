#include "options.h"

#include <iostream>

#include <CLI/CLI.hpp>

#include "archive/exporterror.h"
#include "archive/timefmt.h"
#include "tolvane_config.h"

namespace icq {

namespace {

const char* const kExamples = R"(
Examples:
  What a database holds, then its contacts and one conversation:
    tolvane-icq info "ICQ/2000b/12345678.dat"
    tolvane-icq contacts --all "ICQ/2000b/12345678.dat"
    tolvane-icq history --uin 4711042 "ICQ/2000b/12345678.dat"

  Export two dated copies of one owner's database (oldest first), written in Stockholm:
    tolvane-icq export --time-zone Europe/Stockholm --out ~/icq-archive \
        backup-2002/12345678.dat backup-2003/12345678.dat

Times: the stored stamps plus --time-offset are UTC; --time-zone only decides how times are
shown. Exit status: 0 done; 1 a database of ICQ 2003b or later, which this tool cannot read;
2 bad arguments, or a file that cannot be read; 128 + N an export stopped by signal N
(Ctrl-C: 130), which leaves --out as it was.
)";

const char* const kOneDatabase =
    "the <UIN>.dat file, or a folder that holds it (such as ICQ or ICQ/2000b)";

// Settings shared by every command, on the command itself so they may follow its name.
struct Common {
    std::string codepage = "CP1252";
    std::string timeZone = "UTC";
    std::string timeOffset = "0";
    bool noIndex = false;
    bool deletedFolder = false;
    bool quiet = false;
    bool verbose = false;
    bool progressLines = false;
};

void addCommon(CLI::App& command, Common& common) {
    command.add_option("--codepage", common.codepage,
                       "the code page of the machine that wrote the database (default CP1252)");
    command.add_option("--time-zone", common.timeZone,
                       "the zone times are shown in, an IANA name such as Europe/Stockholm "
                       "(default UTC)");
    command.add_option("--time-offset", common.timeOffset,
                       "added to the stored stamps to get UTC, +HH:MM or -HH:MM (default 0)");
    command.add_flag("--no-index", common.noIndex,
                     "find the entries through the data file's pages, not its .idx");
    command.add_flag("--deleted-folder", common.deletedFolder,
                     "also read the messages moved to ICQ's Deleted folder, marked as such");
    command.add_flag("-q,--quiet", common.quiet, "no progress line and no summary");
    command.add_flag("-v,--verbose", common.verbose,
                     "list every warning of the reading (export: also in report.txt)");
    command.add_flag("--progress-lines", common.progressLines,
                     "progress as \"stage TEXT\" and \"progress PERCENT 100\" lines on "
                     "standard error, for a program that reads them");
}

// The common settings checked; empty, or the line that says what is wrong.
std::string apply(const Common& common, Options& o) {
    o.settings.codepage = common.codepage;
    o.settings.timeZone = common.timeZone;
    o.settings.useIndex = !common.noIndex;
    o.settings.deletedFolder = common.deletedFolder;
    o.quiet = common.quiet;
    o.verbose = common.verbose;
    o.progressLines = common.progressLines;
    if (!archive::parseOffset(common.timeOffset, o.settings.timeOffset)) {
        return "--time-offset " + common.timeOffset + ": expected +HH:MM or -HH:MM, such as +01:00";
    }
    try {
        archive::TimeZone zone(common.timeZone);
    } catch (const archive::ExportError& e) {
        return "--time-zone " + std::string(e.what());
    }
    return {};
}

} // namespace

std::optional<Options> parseOptions(int argc, char** argv, int& status) {
    Options o;
    Common common;
    CLI::App app{"tolvane-icq: reads the contact database of ICQ 99a to 2003a (<UIN>.dat, with "
                 "its .idx when it is there) and exports contacts and message history"};
    app.name("tolvane-icq");
    app.footer(kExamples);
    app.set_version_flag("--version", "tolvane-icq " TOLVANE_VERSION,
                         "print the program's name and version and exit");
    app.require_subcommand(1);
    app.get_formatter()->column_width(30);

    CLI::App* info = app.add_subcommand(
        "info", "the owner, groups, contacts by status, messages by kind, version and warnings");
    info->add_option("database", o.databases, kOneDatabase)->required()->expected(1);
    CLI::App* contacts =
        app.add_subcommand("contacts", "the contacts on the owner's list as a table");
    contacts->add_option("database", o.databases, kOneDatabase)->required()->expected(1);
    contacts->add_flag("-a,--all,--all-contacts", o.allContacts,
                       "also removed, ignored and other contacts");
    CLI::App* history =
        app.add_subcommand("history", "the message history as plain text, by contact");
    history->add_option("database", o.databases, kOneDatabase)->required()->expected(1);
    uint32_t uin = 0;
    CLI::Option* uinOption =
        history->add_option("--uin", uin, "only the conversation with this contact");
    CLI::App* exports = app.add_subcommand(
        "export", "contacts.vcf, contacts.csv, history/, icq-archive.sqlite and report.txt");
    exports
        ->add_option("databases", o.databases,
                     "the <UIN>.dat file, or a folder that holds it; several copies of one "
                     "owner's database (oldest first) are merged")
        ->required();
    exports->add_option("--out", o.out, "the folder that receives the exports")->required();
    exports->add_flag("--all-contacts", o.allContacts,
                      "contacts.vcf and contacts.csv also hold contacts not on the list");
    exports->add_flag("--replace", o.replace,
                      "replace an earlier export of another owner in --out");
    for (CLI::App* command : {info, contacts, history, exports}) {
        addCommon(*command, common);
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        status = app.exit(e);
        return std::nullopt;
    } catch (const CLI::ParseError& e) {
        std::cerr << "tolvane-icq: " << e.what() << " (see --help)\n";
        status = 2;
        return std::nullopt;
    }
    o.command = *info       ? Command::Info
                : *contacts ? Command::Contacts
                : *history  ? Command::History
                            : Command::Export;
    if (*uinOption) {
        o.uin = uin;
    }
    const std::string wrong = apply(common, o);
    if (!wrong.empty()) {
        std::cerr << "tolvane-icq: " << wrong << "\n";
        status = 2;
        return std::nullopt;
    }
    return o;
}

} // namespace icq
