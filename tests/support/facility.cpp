#include "tests/support/facility.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

bool RunningUnderCi() {
    const char* ci = std::getenv("CI");
    return ci && std::strcmp(ci, "true") == 0;
}

std::string RunUnprivileged(const std::function<void()>& body) {
    if (geteuid() != 0) {
        body();
        return "";
    }
    constexpr uid_t kNobody = 65534;
    constexpr int kCannotDrop = 125;
    std::fflush(nullptr);  // nothing buffered before the fork is printed twice
    pid_t child = fork();
    if (child < 0) return std::string("fork failed: ") + std::strerror(errno);
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setresgid(kNobody, kNobody, kNobody) != 0 ||
            setresuid(kNobody, kNobody, kNobody) != 0 || geteuid() == 0)
            _exit(kCannotDrop);
        body();
        std::fflush(nullptr);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child) return "lost the unprivileged child";
    if (WIFEXITED(status) && WEXITSTATUS(status) == kCannotDrop)
        return "cannot drop root to the user nobody (65534) here";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the part run as the user nobody failed (its messages are above)";
    return "";
}
