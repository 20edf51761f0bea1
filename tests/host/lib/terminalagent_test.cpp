#include "terminalagent.h"

#include <signal.h>

#include <cstdio>
#include <memory>
#include <string>

#include <gtest/gtest.h>

namespace {

// Plain lines on a standard error that is no terminal; every stop signal is answered with 32 at
// the next step.
TEST(TerminalAgent, PrintsPlainLinesAndAnswersEveryStopSignalAtTheNextStep) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        vqrt::TerminalAgent::stopSignal().store(SIGINT); // from an earlier run
        const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), std::fclose);
        vqrt::TerminalAgent agent(60, file.get());
        agent.catchStopSignals();
        EXPECT_EQ(agent.stepProgress(5), 0);
        agent.postMessage(agent.messageKind(0x6000, 50), "Error loading UIN file!");
        raise(signal);
        EXPECT_EQ(vqrt::TerminalAgent::stopSignal().load(), signal);
        EXPECT_EQ(agent.stepProgress(5), 32);
        EXPECT_TRUE(agent.cancelled());
        EXPECT_EQ(agent.done(), 5);
        std::rewind(file.get());
        char text[200];
        const size_t size = std::fread(text, 1, sizeof text, file.get());
        EXPECT_EQ(std::string(text, size),
                  "ICQ: progress 5/60 (8%)\nICQ: Error loading UIN file!\nICQ: cancelled\n");
    }
}

} // namespace
