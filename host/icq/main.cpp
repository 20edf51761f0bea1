#include <iostream>

#include "archive/locate.h"
#include "commands.h"
#include "confinement.h"
#include "options.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    int status = 0;
    auto options = icq::parseOptions(argc, argv, status);
    if (!options) {
        return status;
    }
    for (std::string& database : options->databases) {
        std::string problem;
        database = archive::locateDatabase(database, problem);
        if (!problem.empty()) {
            return icq::fail(icq::kUnusable, problem);
        }
    }
    // Whatever a damaged database makes of the reader, it reaches nothing else.
    std::optional<vqrt::ScratchFolder> scratch;
    icq::confineRun(*options, scratch);
    switch (options->command) {
    case icq::Command::Info:
        return icq::runInfo(*options);
    case icq::Command::Contacts:
        return icq::runContacts(*options);
    case icq::Command::History:
        return icq::runHistory(*options);
    case icq::Command::Export:
        return icq::runExport(*options);
    }
    return icq::kUnusable;
}
