#include "terminalagent.h"

#include <signal.h>

#include <cstdio>
#include <memory>
#include <string>

#include <gtest/gtest.h>

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

std::string contents(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string text;
    char buffer[256];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        text.append(buffer, n);
    }
    return text;
}

TEST(TerminalAgent, PlainLinesAndMessagesWhenNotATerminal) {
    std::unique_ptr<std::FILE, FileCloser> out(std::tmpfile());
    vqrt::TerminalAgent agent(60, out.get());
    EXPECT_EQ(agent.stepProgress(5), 0);
    agent.postMessage(agent.messageKind(0x6000, 50), "Error loading UIN file!");
    EXPECT_EQ(agent.stepProgress(55), 0);
    EXPECT_EQ(contents(out.get()), "ICQ: progress 5/60 (8%)\n"
                                   "ICQ: Error loading UIN file!\n"
                                   "ICQ: progress 60/60 (100%)\n");
    EXPECT_EQ(agent.done(), 60);
    EXPECT_FALSE(agent.cancelled());
}

TEST(TerminalAgent, InterruptIsAnsweredWith32AtTheNextStep) {
    std::unique_ptr<std::FILE, FileCloser> out(std::tmpfile());
    vqrt::TerminalAgent agent(60, out.get());
    agent.catchStopSignals();
    EXPECT_EQ(agent.stepProgress(5), 0);
    raise(SIGINT);
    EXPECT_EQ(agent.stepProgress(5), 32);
    EXPECT_TRUE(agent.cancelled());
    EXPECT_EQ(agent.done(), 5);
    EXPECT_EQ(contents(out.get()), "ICQ: progress 5/60 (8%)\nICQ: cancelled\n");
}

TEST(TerminalAgent, AFreshAgentForgetsAnEarlierInterrupt) {
    vqrt::TerminalAgent::stopSignal().store(SIGTERM);
    std::unique_ptr<std::FILE, FileCloser> out(std::tmpfile());
    vqrt::TerminalAgent agent(10, out.get());
    EXPECT_EQ(agent.stepProgress(10), 0);
}

} // namespace
