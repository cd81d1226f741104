// Device objects reachable as "\\.\NAME" (VWIN32, the own disk driver). A normal run
// registers none, so opening them fails as on a system without them.
#pragma once

#include <functional>
#include <string>

#include "platform/win_types.h"

namespace platform {

// Makes a new kernel object for each successful open, or nullptr with the last-error value set.
using DeviceFactory = std::function<HANDLE()>;

class ScopedDevice {
  public:
    ScopedDevice(std::string name, DeviceFactory factory);
    ~ScopedDevice();
    ScopedDevice(const ScopedDevice&) = delete;
    ScopedDevice& operator=(const ScopedDevice&) = delete;

  private:
    std::string m_name;
};

// nullptr with ENOENT when no device of that name (case-insensitive) is registered.
HANDLE OpenRegisteredDevice(const std::string& name);

}  // namespace platform
