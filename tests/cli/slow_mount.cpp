#include "tests/cli/slow_mount.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include "tests/support/child_exit.h"
#include "tests/support/temp_dir.h"

SlowMount::SlowMount(const std::string& backingFile, const std::string& mountPoint,
                     unsigned delayMs)
    : m_mountPoint(mountPoint) {
    const std::string plan = mountPoint + ".plan";
    WriteFileBytes(plan, "delay " + std::to_string(delayMs) + "\n");
    Mount(backingFile, plan);
}

SlowMount::SlowMount(const std::string& backingFile, const std::string& mountPoint,
                     const std::string& planFile)
    : m_mountPoint(mountPoint) {
    Mount(backingFile, planFile);
}

void SlowMount::Mount(const std::string& backingFile, const std::string& planFile) {
    ::mkdir(m_mountPoint.c_str(), 0755);
    std::vector<std::string> strings = {FAULTY_FS, backingFile, m_mountPoint, planFile};
    std::vector<char*> argv;
    for (std::string& s : strings) argv.push_back(s.data());
    argv.push_back(nullptr);
    m_pid = fork();
    if (m_pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (m_pid < 0) return;
    const ChildExit end(m_pid);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (FileExists(file())) {
            m_mounted = true;
            return;
        }
        // Between looks at the mount point, the file system's end is what is waited for.
        if (end.Wait(10)) {
            waitpid(m_pid, nullptr, 0);
            m_pid = -1;  // the mount failed and the process is gone
            return;
        }
    }
}

SlowMount::~SlowMount() {
    if (m_mounted)
        Shell("fusermount3 -u '" + m_mountPoint + "' 2>/dev/null || umount '" + m_mountPoint + "'");
    if (m_pid > 0) {
        // Unmounted, the file system ends by itself; 10 s at most.
        if (!ChildExit(m_pid).Wait(10000)) kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    ::rmdir(m_mountPoint.c_str());
}
