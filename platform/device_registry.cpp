#include "platform/device_registry.h"

#include <strings.h>

#include <cerrno>
#include <map>
#include <mutex>

#include "platform/last_error.h"

namespace platform {
namespace {

struct NoCase {
    bool operator()(const std::string& a, const std::string& b) const {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    }
};

std::mutex g_mutex;
std::map<std::string, DeviceFactory, NoCase>& Devices() {
    static std::map<std::string, DeviceFactory, NoCase> devices;
    return devices;
}

}  // namespace

ScopedDevice::ScopedDevice(std::string name, DeviceFactory factory) : m_name(std::move(name)) {
    std::lock_guard lock(g_mutex);
    Devices()[m_name] = std::move(factory);
}

ScopedDevice::~ScopedDevice() {
    std::lock_guard lock(g_mutex);
    Devices().erase(m_name);
}

HANDLE OpenRegisteredDevice(const std::string& name) {
    DeviceFactory factory;
    {
        std::lock_guard lock(g_mutex);
        auto it = Devices().find(name);
        if (it != Devices().end()) factory = it->second;
    }
    if (!factory) {
        SetLastError(ENOENT);
        return nullptr;
    }
    return factory();
}

}  // namespace platform
