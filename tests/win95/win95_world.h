// A Windows 95 system for one test: the platform reports Windows 95, VWIN32 of the chosen
// release answers on "\\.\vwin32", and the own driver on "\\.\vtavrel.vxd" when asked for.
#pragma once

#include <array>
#include <optional>
#include <ostream>
#include <string>

#include "drive/drive_access.h"
#include "drive/emulation/own_driver_emulation.h"
#include "drive/emulation/vwin32_emulation.h"
#include "platform/device_registry.h"
#include "platform/handle.h"
#include "platform/version.h"

// The three ways Windows 95 moves sectors.
enum class Win95Path { Absolute, Extended, Driver };
const char* Win95PathName(Win95Path path);
// Test names and messages show the path by name, not as bytes.
void PrintTo(Win95Path path, std::ostream* os);

class Win95World {
  public:
    Win95World(emulation::Win95Release release, bool withDriver);
    // The system that makes the job take this path.
    explicit Win95World(Win95Path path);

    emulation::Vwin32Service vwin32;
    emulation::OwnDriverService driver;
    // Sequence number taken when the own driver was last opened (0: never).
    unsigned driverOpenedAt = 0;

  private:
    platform::ScopedPlatformId m_platform{VER_PLATFORM_WIN32_WINDOWS};
    platform::ScopedDevice m_vwin32;
    std::optional<platform::ScopedDevice> m_driver;
};

// Handles a test opens itself, as the job would, and the context for direct calls.
struct OpenDevices {
    UniqueHandle vwin32;
    UniqueHandle driver;
    DriveContext Context(BOOL driverLoaded, BOOL useExtendedAccess) const;
};
OpenDevices OpenWin95Devices();

// A 28-byte register block as the tables give it; Any marks a field left to the caller.
constexpr long long Any = -1;
struct ExpectedRegisters {
    long long ebx, edx, ecx, eax, edi, esi, flags;
};
// Empty when the block matches; otherwise says which field differs.
std::string CompareRegisters(const std::array<BYTE, 28>& block, const ExpectedRegisters& expected);

std::array<BYTE, 10> PacketBytes(DWORD start, WORD count, DWORD address);
std::array<BYTE, 16> RecordBytes(DWORD driveIndex, DWORD count, DWORD start, DWORD address);
DWORD FieldAt(const BYTE* bytes, int offset);
