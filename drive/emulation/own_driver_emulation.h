// The own disk driver as this platform stands it in: the device "\\.\vtavrel.vxd" taking the
// 16-byte request record with code 1 (read), 2 (write) and 3 (the job is done with the drive),
// and failing a call with a driver status, 0 to 44, in the last-error value.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "drive/emulation/drive_bay.h"
#include "drive/emulation/fault_plan.h"
#include "platform/device_registry.h"
#include "platform/win_types.h"

namespace emulation {

// Statuses the driver fails with when it is not told otherwise.
constexpr DWORD kDriverGeneralFailure = 12;
constexpr DWORD kDriverBadRequest = 22;  // unknown code, malformed record, unmapped buffer

// The status a transfer failure gives.
DWORD DriverStatus(MediaError error);

// One DeviceIoControl call as the driver saw it.
struct DriverCapture {
    unsigned sequence = 0;  // see request_order.h
    DWORD code = 0;
    DWORD inSize = 0;
    DWORD outSize = 0;
    bool hadOutBuffer = false;
    Request request = Request::Other;
    std::array<BYTE, 16> record{};
    const void* buffer = nullptr;  // the memory the record's buffer address stood for
    BOOL result = FALSE;
    DWORD error = 0;
};

class OwnDriverService {
  public:
    OwnDriverService();
    ~OwnDriverService();
    OwnDriverService(const OwnDriverService&) = delete;
    OwnDriverService& operator=(const OwnDriverService&) = delete;

    // For platform::ScopedDevice("vtavrel.vxd", ...).
    platform::DeviceFactory Factory() const;
    // Makes every open fail with code (0 lets them through again).
    void FailOpen(DWORD code);

    FaultPlan& faults();

    std::vector<DriverCapture> Captured() const;
    void ClearCaptured();
    int OpenHandles() const;
    // Code 3 requests carried out, per drive index.
    int Releases(DWORD driveIndex) const;

    struct State;

  private:
    std::shared_ptr<State> m_state;
};

}  // namespace emulation
