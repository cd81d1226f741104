// Tests that need something of the machine (FUSE, loop devices, root, mounts, the FAT tools)
// skip where it is missing, with the reason. On a CI machine (CI=true) a missing facility is
// a failure instead, so that a CI run without them cannot pass quietly.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

// True when the environment says this is a CI run (CI=true).
bool RunningUnderCi();

// Ends the current test function (or SetUp) with a skip, or under CI with a failure.
#define SKIP_OR_FAIL(reason)                                             \
    do {                                                                 \
        if (RunningUnderCi())                                            \
            FAIL() << "CI=true and a facility is missing: " << (reason); \
        else                                                             \
            GTEST_SKIP() << (reason);                                    \
    } while (0)

// Runs body as an unprivileged user, where permissions apply as they do for most users: in a
// child process that drops to the user nobody (65534) when this process is root, directly
// otherwise. The files body uses must be reachable by that user. Returns "" when body ran
// (its failures are recorded as this test's), otherwise why it could not run.
std::string RunUnprivileged(const std::function<void()>& body);
