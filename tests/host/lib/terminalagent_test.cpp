#include "terminalagent.h"

#include <signal.h>

#include <cstdio>
#include <memory>
#include <string>

#include <gtest/gtest.h>

namespace {

// Plain lines on a standard error that is no terminal; an interrupt answered with 32.
TEST(TerminalAgent, PrintsPlainLinesAndAnswersAnInterruptAtTheNextStep) {
    vqrt::TerminalAgent::cancelRequested().store(true); // from an earlier run
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), std::fclose);
    vqrt::TerminalAgent agent(60, file.get());
    agent.catchInterrupt();
    EXPECT_EQ(agent.stepProgress(5), 0);
    agent.postMessage(agent.messageKind(0x6000, 50), "Error loading UIN file!");
    raise(SIGINT);
    EXPECT_EQ(agent.stepProgress(5), 32);
    EXPECT_TRUE(agent.cancelled());
    std::rewind(file.get());
    char text[200];
    const size_t size = std::fread(text, 1, sizeof text, file.get());
    EXPECT_EQ(std::string(text, size),
              "ICQ: progress 5/60 (8%)\nICQ: Error loading UIN file!\nICQ: cancelled\n");
}

} // namespace
