// The slow FUSE file system mounted for one test: serves a raw image as mountPoint/disk.img,
// waiting before every read and write. Unmounted and its process reaped when the object dies.
#pragma once

#include <sys/types.h>

#include <string>

class SlowMount {
  public:
    // Every read and write waits delayMs first.
    SlowMount(const std::string& backingFile, const std::string& mountPoint, unsigned delayMs);
    // Reads fail as the plan file says; the file system reloads it whenever it is replaced.
    SlowMount(const std::string& backingFile, const std::string& mountPoint,
              const std::string& planFile);
    ~SlowMount();
    SlowMount(const SlowMount&) = delete;
    SlowMount& operator=(const SlowMount&) = delete;

    // True once the file is served; false when FUSE is not usable here.
    bool mounted() const { return m_mounted; }
    std::string file() const { return m_mountPoint + "/disk.img"; }

  private:
    void Mount(const std::string& backingFile, const std::string& planFile);

    std::string m_mountPoint;
    pid_t m_pid = -1;
    bool m_mounted = false;
};
