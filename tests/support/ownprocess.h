#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

// Runs the body in a process of its own (this test program started again for this test), so
// that a crash, a hang or runaway memory fails the test instead of ending the program. The
// body's failures are shown with the test's; past `seconds` the process is ended.
#define IN_OWN_PROCESS(seconds, body)                                                               \
    do {                                                                                            \
        GTEST_FLAG_SET(death_test_style, "threadsafe");                                             \
        EXPECT_EXIT(                                                                                \
            {                                                                                       \
                ::dup2(STDERR_FILENO, STDOUT_FILENO);                                               \
                ::alarm(seconds);                                                                   \
                body;                                                                               \
                std::fflush(stdout);                                                                \
                std::_Exit(::testing::Test::HasFailure() ? 1 : 0);                                  \
            },                                                                                      \
            ::testing::ExitedWithCode(0), "");                                                      \
    } while (false)
