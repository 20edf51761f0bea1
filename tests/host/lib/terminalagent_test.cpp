#include "terminalagent.h"

#include <signal.h>

#include <cstdio>
#include <memory>
#include <string>

#include <gtest/gtest.h>

namespace {

// A temporary file standing in for standard error, which is no terminal here.
struct Output {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file{std::tmpfile(), std::fclose};
    std::string text() {
        std::fflush(file.get());
        std::rewind(file.get());
        std::string all;
        for (int c; (c = std::fgetc(file.get())) != EOF;) {
            all += static_cast<char>(c);
        }
        return all;
    }
};

TEST(TerminalAgent, PlainLinesAndMessagesWhenNotATerminal) {
    Output out;
    vqrt::TerminalAgent agent(60, out.file.get());
    EXPECT_EQ(agent.stepProgress(5), 0);
    agent.postMessage(agent.messageKind(0x6000, 50), "Error loading UIN file!");
    EXPECT_EQ(agent.stepProgress(55), 0);
    EXPECT_EQ(out.text(), "ICQ: progress 5/60 (8%)\n"
                          "ICQ: Error loading UIN file!\n"
                          "ICQ: progress 60/60 (100%)\n");
    EXPECT_FALSE(agent.cancelled());
}

TEST(TerminalAgent, EveryStopSignalIsAnsweredWith32AtTheNextStepOfThisAgentOnly) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        vqrt::TerminalAgent::stopSignal().store(SIGINT); // from an earlier run
        Output out;
        vqrt::TerminalAgent agent(60, out.file.get());
        agent.catchStopSignals();
        EXPECT_EQ(agent.stepProgress(5), 0);
        raise(signal);
        EXPECT_EQ(vqrt::TerminalAgent::stopSignal().load(), signal);
        EXPECT_EQ(agent.stepProgress(5), 32);
        EXPECT_TRUE(agent.cancelled());
        EXPECT_EQ(agent.done(), 5);
        EXPECT_EQ(out.text(), "ICQ: progress 5/60 (8%)\nICQ: cancelled\n");
    }
}

} // namespace
