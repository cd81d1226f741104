#include "tests/support/recording_window.h"

#include <dirent.h>

bool RunToCompletion(CDiskJob& job, RecordingWindow& window, unsigned timeoutMs) {
    int before = window.doneCount;
    if (!job.Start()) return false;
    if (!window.PumpUntil([&] { return window.doneCount > before; }, timeoutMs)) return false;
    // The end notice is posted; the thread may still be on its way out.
    if (!job.WaitUntilEnded(10000)) return false;
    window.PumpOnce(0);  // anything posted after the end notice would be a fault; count it
    return true;
}

int OpenDescriptorCount() {
    int count = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++count;
        closedir(d);
    }
    return count;
}
