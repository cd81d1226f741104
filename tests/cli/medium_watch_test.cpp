// The batch's decision "is this a diskette to image?" fed the looks each kind of drive gives.
#include "cli/medium_watch.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using platform::MediumState;

MediumState Empty() {
    return {};
}
MediumState In(const std::string& identity, bool changed = false) {
    return {true, identity, 500, changed};
}
MediumState Count(int n) {
    return In("changes " + std::to_string(n));
}  // Windows
// ERROR_MEDIA_CHANGED with no count (Windows), or the floppy driver's change flag (Linux).
MediumState Changed() {
    return In("", true);
}

// How many diskettes the batch images: the look after one found new is the one after its job.
int Images(const std::vector<MediumState>& looks) {
    cli::MediumWatch watch;
    int images = 0;
    for (size_t i = 0; i < looks.size(); ++i) {
        if (!watch.IsNew(looks[i])) continue;
        ++images;
        if (i + 1 < looks.size()) watch.Imaged(looks[++i]);
    }
    return images;
}

TEST(MediumWatch, EachDisketteIsImagedOnce) {
    // Windows: the second diskette's count arrives only after its change was answered without.
    EXPECT_EQ(Images({Count(7), Empty(), Changed(), Count(8), Count(8)}), 2);
    // ...also where the look after the job gives no count: the first count read is taken.
    EXPECT_EQ(Images({Count(7), Count(7), Empty(), Changed(), In(""), Count(8), Count(8)}), 2);
    // A swap during the job, or quicker than a look.
    EXPECT_EQ(Images({Count(7), Changed(), Count(8), Count(8)}), 2);
    EXPECT_EQ(Images({Count(7), Count(7), Count(9), Count(9)}), 2);
    // The look after the job gives no count: the diskette imaged keeps the count that found
    // it, so the next count is another diskette, not the first one's count read at last.
    EXPECT_EQ(Images({Count(7), In(""), Count(8), Count(8)}), 2);
    // The count moved during the job with no change seen: the look after the job names the
    // diskette imaged.
    EXPECT_EQ(Images({Count(7), Count(8), Count(8), Count(8)}), 1);
    // An answer without a count between two of the same is the same diskette.
    EXPECT_EQ(Images({Count(7), Count(7), In(""), Count(7), Count(7)}), 1);
    // Linux: an image file replaced, a loop device given another file, an empty drive, the
    // floppy driver's change flag.
    EXPECT_EQ(Images({In("12:1"), In("12:1"), In("12:1"), In("13:2"), In("13:2")}), 2);
    EXPECT_EQ(Images({In("loop 7:10"), In("loop 7:10"), In("loop 7:11"), In("loop 7:11")}), 2);
    EXPECT_EQ(Images({In(""), In(""), In(""), Empty(), In(""), In(""), In("")}), 2);
    EXPECT_EQ(Images({In(""), In(""), In(""), Changed(), In(""), In("")}), 2);
    EXPECT_EQ(Images({In(""), Changed(), In(""), In("")}), 2);  // swapped during the job
    // A drive that names no medium, seen empty right after the job: the next diskette is new.
    EXPECT_EQ(Images({In(""), Empty(), In(""), In("")}), 2);
    EXPECT_EQ(Images({Empty(), Empty()}), 0);
}

}  // namespace
