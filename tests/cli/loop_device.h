// A loop device over a file for the length of a test, always detached afterwards.
#pragma once

#include <string>

class LoopDevice {
  public:
    // Attaches file to a free loop device; path() is empty when the machine does not allow it.
    explicit LoopDevice(const std::string& file);
    ~LoopDevice();
    LoopDevice(const LoopDevice&) = delete;
    LoopDevice& operator=(const LoopDevice&) = delete;

    const std::string& path() const { return m_path; }

  private:
    std::string m_path;
};
