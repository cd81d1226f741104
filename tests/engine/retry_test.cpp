// The short retry that the volume lock and image opens on Windows go through: how often the
// attempt is made, and which code the caller is left with.
#include "platform/retry.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <vector>

#include "platform/last_error.h"

namespace {

constexpr DWORD kBusy = EBUSY;

// An attempt that fails with the given codes in turn, then succeeds; counts its calls.
struct Attempts {
    std::vector<DWORD> codes;
    int calls = 0;
    BOOL operator()() {
        if (calls++ < static_cast<int>(codes.size())) {
            SetLastError(codes[calls - 1]);
            return FALSE;
        }
        return TRUE;
    }
};

bool Transient(DWORD code) {
    return code == kBusy;
}

TEST(Retry, GoesOnWhileTransientAndStopsAtSuccessOrTheLastTry) {
    Attempts letsGo{{kBusy, kBusy}};
    EXPECT_TRUE(platform::RetryWhile(std::ref(letsGo), Transient, 5, 0));
    EXPECT_EQ(letsGo.calls, 3);

    Attempts staysBusy{{kBusy, kBusy, kBusy, kBusy, kBusy, kBusy}};
    EXPECT_FALSE(platform::RetryWhile(std::ref(staysBusy), Transient, 4, 0));
    EXPECT_EQ(staysBusy.calls, 4) << "never more than the tries asked for";
    EXPECT_EQ(GetLastError(), kBusy);
}

TEST(Retry, ALastingRefusalIsNotTriedAgainAndKeepsItsCode) {
    Attempts denied{{kBusy, EACCES, kBusy}};
    EXPECT_FALSE(platform::RetryWhile(std::ref(denied), Transient, 10, 0));
    EXPECT_EQ(denied.calls, 2);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EACCES));
}

}  // namespace
