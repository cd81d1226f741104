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
    m_mount = std::make_unique<SlowMount>(rawImage, m_mountPoint, dir + "/faulty-plan");
    if (!m_mount->mounted()) {
        m_problem = "FUSE is not usable here (no /dev/fuse or no permission to mount)";
        return;
    }
    m_loop = std::make_unique<LoopDevice>(m_mount->file(), true);
    if (m_loop->path().empty())
        m_problem =
            "no loop device with direct I/O over a FUSE file: losetup is not allowed "
            "on this machine or the kernel refuses it";
}

FaultyDrive::~FaultyDrive() {
    // The loop device lets go of the file before the file system goes.
    m_loop.reset();
    m_mount.reset();
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
