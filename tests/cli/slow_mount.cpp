#include "tests/cli/slow_mount.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

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
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (FileExists(file())) {
            m_mounted = true;
            return;
        }
        if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1;  // the mount failed and the process is gone
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

SlowMount::~SlowMount() {
    if (m_mounted)
        Shell("fusermount3 -u '" + m_mountPoint + "' 2>/dev/null || umount '" + m_mountPoint + "'");
    if (m_pid > 0) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (waitpid(m_pid, nullptr, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(m_pid, SIGKILL);
                waitpid(m_pid, nullptr, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ::rmdir(m_mountPoint.c_str());
}
