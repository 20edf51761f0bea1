#include <gtest/gtest.h>

#include "e2einstall.h"

// tolvane-import with the desktop window's options page handed over on standard input.

namespace e2e {
namespace {

const char* const kUsers = R"({"name": "m_pWinUsersList", "current": "Märta"})";

// A page state: Märta chosen, contacts left out, "secret" typed; `buttons` replaces the buttons.
std::string state(const std::string& buttons = {}) {
    return std::string(R"({"lists": [)") + kUsers + R"(], "buttons": [)" +
           (buttons.empty() ? R"({"name": "NoName", "text": "Import Con&tacts", "checked": false,
                      "enabled": true})"
                            : buttons) +
           R"(], "lineEdits": [{"name": "NoName", "text": "secret"}]})";
}

TEST(PageStateE2e, TheRunImportsWhatThePageSaysAndReportsInLines) {
    Installation icq(smallDescription());
    icq.build();
    const auto r =
        icq.import({"--out", icq.out(), "--page-state-stdin", "--progress-lines", "-q"}, state());
    ASSERT_EQ(r.status, 0) << r.err;
    // The plug-in's steps, then the ICQ archive's reading and writing in per cent.
    const std::string plugin = "progress 5 60\nprogress 10 60\nprogress 15 60\nprogress 25 60\n"
                               "progress 35 60\nprogress 40 60\nprogress 50 60\nprogress 60 60\n";
    EXPECT_EQ(r.err.substr(0, plugin.size()), plugin);
    const size_t reading = r.err.find("stage Reading 31415926.dat\n");
    const size_t writing = r.err.find("stage Writing the ICQ archive\n");
    EXPECT_EQ(reading, plugin.size()) << r.err;
    EXPECT_LT(reading, writing) << r.err;
    EXPECT_NE(writing, std::string::npos) << r.err;
    EXPECT_TRUE(r.err.size() > 17 && r.err.substr(r.err.size() - 17) == "progress 100 100\n")
        << r.err;
    const auto same = icq.import({"--out", icq.out("same"), "--owner", "Märta", "--no-contacts",
                                  "--password-file", icq.passwordFile()});
    ASSERT_EQ(same.status, 0) << same.err;
    EXPECT_EQ(icq.record(icq.out()).dump(2), icq.record(icq.out("same")).dump(2));
}

struct BadState {
    const char* name;
    std::string input;
    const char* error; // after "tolvane-import: --page-state-stdin: "
};

void PrintTo(const BadState& c, std::ostream* out) {
    *out << c.name;
}

class RefusedPageState : public ::testing::TestWithParam<BadState> {};

TEST_P(RefusedPageState, EndsWithStatusTwoBeforeTheRun) {
    Installation icq(smallDescription());
    icq.build();
    const auto r = icq.import({"--out", icq.out(), "--page-state-stdin"}, GetParam().input);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, std::string("tolvane-import: --page-state-stdin: ") + GetParam().error + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    PageStateE2e, RefusedPageState,
    ::testing::Values(
        BadState{"NotJson", "{\"lists\": [",
                 "expected a JSON object on standard input (unterminated array at byte 11)"},
        BadState{"NotAnObject", "[1]",
                 "expected a JSON object on standard input (found another JSON value)"},
        BadState{"UnknownList", R"({"lists": [{"name": "nowhere", "current": "x"}]})",
                 "the page has no list named \"nowhere\""},
        BadState{"UnknownOwner", R"({"lists": [{"name": "m_pWinUsersList", "current": "Bob"}]})",
                 "the list \"m_pWinUsersList\" has no entry \"Bob\""},
        BadState{"ButtonTextDiffers",
                 state(R"({"name": "NoName", "text": "Import Contacts", "checked": true})"),
                 "the page has no button named \"NoName\" with the text \"Import Contacts\""},
        BadState{"TooLarge", std::string(1 << 21, ' '),
                 "more than 1 MiB on standard input (expected a page state)"}),
    [](const ::testing::TestParamInfo<BadState>& info) { return std::string(info.param.name); });

} // namespace
} // namespace e2e
