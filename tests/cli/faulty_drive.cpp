#include "tests/cli/faulty_drive.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"

FaultyDrive::FaultyDrive(const std::string& rawImage, const std::string& dir,
                         const std::string& plan)
    : m_dir(dir), m_mountPoint(dir + "/faulty-mnt") {
    SetPlan(plan);
    ::mkdir(m_mountPoint.c_str(), 0755);
    std::vector<std::string> strings = {FAULTY_FS, rawImage, m_mountPoint, dir + "/faulty-plan"};
    std::vector<char*> argv;
    for (std::string& s : strings) argv.push_back(s.data());
    argv.push_back(nullptr);
    m_pid = fork();
    if (m_pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (m_pid > 0 && std::chrono::steady_clock::now() < deadline) {
        if (FileExists(m_mountPoint + "/disk.img")) {
            m_mounted = true;
            break;
        }
        if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1;  // the mount failed and the process is gone
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!m_mounted) {
        m_problem = "FUSE is not usable here (no /dev/fuse or no permission to mount)";
        return;
    }
    m_loop = std::make_unique<LoopDevice>(m_mountPoint + "/disk.img", true);
    if (m_loop->path().empty())
        m_problem =
            "no loop device with direct I/O over a FUSE file: losetup is not allowed "
            "on this machine or the kernel refuses it";
}

FaultyDrive::~FaultyDrive() {
    m_loop.reset();
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

void FaultyDrive::SetPlan(const std::string& plan) {
    // A new file under the plan's name: the file system sees another inode and reloads.
    WriteFileBytes(m_dir + "/faulty-plan.new", plan);
    std::rename((m_dir + "/faulty-plan.new").c_str(), (m_dir + "/faulty-plan").c_str());
}

FaultyStats FaultyDrive::Stats() const {
    FaultyStats stats;
    std::istringstream in(ReadFileBytes(m_mountPoint + "/stats"));
    std::string name;
    long long value;
    while (in >> name >> value) {
        if (name == "reads") stats.reads = value;
        if (name == "failed") stats.failed = value;
        if (name == "sectors") stats.sectors = value;
    }
    return stats;
}
