// The texts shown for error codes: which table, which index, and the system's own texts.
#include "drive/disk_errors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "platform/last_error_note.h"

namespace {

TEST(DiskErrors, TableChoiceFollowsTheDriver) {
    EXPECT_EQ(DiskErrorText(0x2000000D, FALSE), "The drive is locked.");
    EXPECT_EQ(DiskErrorText(0x2000000D, TRUE), "Error allocating buffer space for I/O");
    EXPECT_EQ(DiskErrorText(0x20000000, FALSE), "Write-protect error");
    EXPECT_EQ(DiskErrorText(0x20000000, TRUE), "");
    EXPECT_EQ(DiskErrorText(0x20000002, FALSE), "Drive not ready.");
    EXPECT_EQ(DiskErrorText(0x20000008, FALSE), "Sector not found.");
}

TEST(DiskErrors, OutOfRangeIndicesFallBackToGeneralFailure) {
    EXPECT_EQ(DiskErrorText(0x20000050, FALSE), "General failure.");
    EXPECT_EQ(DiskErrorText(0x20000050, TRUE), "General failure");
    EXPECT_EQ(DiskErrorText(0x2000010D, FALSE), "The drive is locked.")
        << "only the low byte counts";
    EXPECT_EQ(DiskErrorText(0x2000010D, TRUE), "General failure");
    EXPECT_EQ(DiskErrorText(0x2000002C, TRUE), "Attempt to split big I/O barfed");
    EXPECT_EQ(DiskErrorText(0x2000002D, TRUE), "General failure");
}

TEST(DiskErrors, AVolumeInUseNamesTheDriveAndWhatToClose) {
    EXPECT_EQ(DiskErrorText(kVolumeInUseCode + 1, FALSE),
              "The drive is in use: close any window or program that uses B:, such as Explorer or "
              "a command prompt at B:\\, and try again.");
    EXPECT_NE(DiskErrorText(kVolumeInUseCode, FALSE).find("uses A:,"), std::string::npos);
}

TEST(DiskErrors, SystemCodesUseTheSystemText) {
    EXPECT_EQ(DiskErrorText(ENOENT, FALSE), std::strerror(ENOENT));
    EXPECT_EQ(DiskErrorText(EBUSY, TRUE), std::strerror(EBUSY))
        << "no flag: the driver does not matter";
    EXPECT_EQ(DiskErrorText(0x1FFFFFFF, FALSE), "Unknown error 536870911.");
}

// A failure's note (where a failed replacement left the files) follows the system's text of its
// own code only, so an error of another kind later on this thread never carries it.
TEST(DiskErrors, ANoteFollowsOnlyItsOwnCode) {
    platform::SetLastErrorNote(EXDEV, "The new image is kept as X.");
    EXPECT_EQ(DiskErrorText(EXDEV, FALSE),
              std::string(std::strerror(EXDEV)) + " The new image is kept as X.");
    EXPECT_EQ(DiskErrorText(ENOENT, FALSE), std::strerror(ENOENT));
    EXPECT_EQ(DiskErrorText(0x20000008, FALSE), "Sector not found.");
    platform::SetLastErrorNote(0, "");
    EXPECT_EQ(DiskErrorText(EXDEV, FALSE), std::strerror(EXDEV));
}

}  // namespace
