// A loop device over a file for the length of a test, always detached afterwards.
#pragma once

#include <string>

class LoopDevice {
  public:
    // Attaches file to a free loop device; path() is empty when the machine does not allow it.
    // With directIo the device reads the file with O_DIRECT, so its reads reach the file's
    // owner as the device receives them.
    explicit LoopDevice(const std::string& file, bool directIo = false);
    ~LoopDevice();
    LoopDevice(const LoopDevice&) = delete;
    LoopDevice& operator=(const LoopDevice&) = delete;

    const std::string& path() const { return m_path; }

  private:
    std::string m_path;
};
