#include "app/launch/SignalQuit.h"

#include "testsupport/QtTestApp.h"

#include <gtest/gtest.h>

#include <csignal>

namespace ostrel {
namespace {

TEST(SignalQuit, TermAndIntRunTheActionOnTheMainThreadThenTheOldHandlersReturn) {
    test::ensureQtApp();
    struct sigaction before {};
    ::sigaction(SIGTERM, nullptr, &before);
    int quits = 0;
    {
        SignalQuit quit([&] { ++quits; });
        ASSERT_TRUE(quit.isInstalled());
        ASSERT_EQ(std::raise(SIGTERM), 0);
        EXPECT_TRUE(test::spinUntil([&] { return quits == 1; }));
        ASSERT_EQ(std::raise(SIGINT), 0);
        EXPECT_TRUE(test::spinUntil([&] { return quits == 2; }));
    }
    struct sigaction after {};
    ::sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

}  // namespace
}  // namespace ostrel
