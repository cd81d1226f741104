// A drive that fails reads as a worn diskette does: a raw image served by the faulty FUSE file
// system (drive/emulation/practice_drive.cpp), under a loop device that reads it with O_DIRECT, so
// the tool's reads reach the file system sector-exact and fail with the kernel's own EIO.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "tests/cli/loop_device.h"
#include "tests/cli/slow_mount.h"

// What the file system saw since the plan was last set.
struct FaultyStats {
    long long reads = -1;    // read requests
    long long failed = -1;   // of them answered with EIO
    long long sectors = -1;  // sectors asked for, all requests together
};

class FaultyDrive {
  public:
    // Serves rawImage with the faults of plan (see drive/emulation/practice_drive.cpp), mounted
    // under dir.
    FaultyDrive(const std::string& rawImage, const std::string& dir, const std::string& plan);
    ~FaultyDrive();
    FaultyDrive(const FaultyDrive&) = delete;
    FaultyDrive& operator=(const FaultyDrive&) = delete;

    // "" when the drive works; else why this machine cannot offer it.
    const std::string& problem() const { return m_problem; }
    // The loop device.
    std::string path() const { return m_loop ? m_loop->path() : ""; }
    // Replaces the plan; the file system starts its counts afresh with the next read.
    void SetPlan(const std::string& plan);
    FaultyStats Stats() const;

  private:
    std::string m_dir;
    std::string m_mountPoint;
    std::unique_ptr<SlowMount> m_mount;
    std::unique_ptr<LoopDevice> m_loop;
    std::string m_problem;
};
