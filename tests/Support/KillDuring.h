#pragma once

// Runs work in a forked child and kills it with SIGKILL once the work calls
// the stall it is given: the state a kill -9 in the middle of that work
// leaves, for a test to sweep and compare.

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace test {

inline void killDuring(const std::function<void(const std::function<void()>& stall)>& work)
{
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(report[0]);
        work([&] {
            const char ready = 1;
            (void)!write(report[1], &ready, 1);
            for (;;)
                pause();
        });
        _exit(3);
    }
    close(report[1]);
    pollfd wait { report[0], POLLIN, 0 };
    ASSERT_EQ(poll(&wait, 1, 60'000), 1);
    char ready = 0;
    EXPECT_EQ(read(report[0], &ready, 1), 1) << "the work ended before it stalled";
    close(report[0]);
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status));
}

} // namespace test
