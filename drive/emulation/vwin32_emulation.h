// VWIN32 as this platform stands it in: the device "\\.\vwin32" whose DeviceIoControl codes
// 1, 2, 3 and 6 carry DOS calls in a DIOC_REGISTERS block, as Windows 95 provides them.
//
// It reads the block and the disk I/O packet as the real service does, moves whole sectors
// between the drive map's drives and the caller's buffer, writes the registers back and
// reports a failed DOS call by the carry flag with the code in AX. It keeps the volume locks
// of the emulated system: a lock is refused while another program holds the volume.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "drive/emulation/drive_bay.h"
#include "drive/emulation/fault_plan.h"
#include "platform/device_registry.h"
#include "platform/win_types.h"

namespace emulation {

enum class Win95Release {
    Original,  // refuses code 6: the DeviceIoControl call itself fails
    Osr2,      // carries Int 21h 7305h through code 6 and the 48h IOCTL category
};

// Programs of the emulated system; locks belong to a program, not to one of its handles.
using ProgramId = DWORD;
constexpr ProgramId kThisProgram = 1;

// AX values of failed DOS calls, besides the critical-error codes 0 to 12 of Int 25h/26h
// and 7305h transfers (see MediaError).
constexpr DWORD kDosInvalidFunction = 0x01;
constexpr DWORD kDosAccessDenied = 0x05;  // lock held by another program, or unlock not ours
constexpr DWORD kDosInvalidDrive = 0x0F;
constexpr DWORD kDosInvalidParameter = 0x57;  // lock level above 3

// The critical-error code a transfer failure returns in AL.
DWORD CriticalErrorCode(MediaError error);

// One DeviceIoControl call as the service saw it.
struct Vwin32Capture {
    unsigned sequence = 0;  // see request_order.h
    ProgramId program = 0;
    DWORD code = 0;
    DWORD inSize = 0;
    DWORD outSize = 0;
    Request request = Request::Other;
    std::array<BYTE, 28> received{};  // the register block as it came in
    std::array<BYTE, 28> returned{};  // as written back; zero when the call failed
    bool packetRead = false;          // EBX stood for a mapped 10-byte packet
    std::array<BYTE, 10> packet{};
    const void* buffer = nullptr;  // the memory the packet's buffer address stood for
    BOOL result = FALSE;
    DWORD error = 0;  // the last-error value of a failed call
};

struct VolumeLock {
    ProgramId holder = 0;  // 0: not locked
    int count = 0;         // a program may take its own lock again; each unlock gives one back
    BYTE level = 0;
    DWORD permissions = 0;
};

class Vwin32Service {
  public:
    explicit Vwin32Service(Win95Release release = Win95Release::Osr2);
    ~Vwin32Service();
    Vwin32Service(const Vwin32Service&) = delete;
    Vwin32Service& operator=(const Vwin32Service&) = delete;

    // For platform::ScopedDevice("vwin32", ...): each open makes a new handle of program.
    platform::DeviceFactory Factory(ProgramId program = kThisProgram) const;
    // A handle of another program on the same system, for tests that contend for a volume.
    HANDLE Open(ProgramId program) const;

    void SetRelease(Win95Release release);
    // Makes every open fail with code (0 lets them through again).
    void FailOpen(DWORD code);

    FaultPlan& faults();

    // Lock state of a drive by DOS drive number (1 = A:).
    VolumeLock Lock(BYTE driveNumber) const;
    // Takes the volume for another program directly, as if it had locked it itself.
    void SeizeVolume(BYTE driveNumber, ProgramId program);
    // The program ended: its locks go.
    void EndProgram(ProgramId program);

    // Requests seen so far (up to a fixed number, kept without allocating per request).
    std::vector<Vwin32Capture> Captured() const;
    void ClearCaptured();
    // Handles of the service that are open now.
    int OpenHandles() const;

    struct State;

  private:
    std::shared_ptr<State> m_state;
};

}  // namespace emulation
