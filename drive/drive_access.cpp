#include "drive/drive_access.h"

#include <cstdint>
#include <cstring>

#include "drive/disk_errors.h"
#include "drive/media_table.h"
#include "drive/win95_wire.h"
#include "platform/drive_volume.h"
#include "platform/file_api.h"
#include "platform/flat_memory.h"
#include "platform/last_error.h"
#include "platform/medium_geometry.h"

namespace {

constexpr DWORD kSectorBytes = 512;

char DriveLetter(WORD driveIndex) {
    return static_cast<char>('A' + driveIndex);
}

// A volume handle on Windows transfers only to and from memory that starts on a sector
// boundary; the engine's track data follows the record's two address bytes. Anything up to a
// track of the largest format goes through this buffer, one per thread.
constexpr WORD kBounceSectors = 64;
alignas(4096) thread_local std::uint8_t t_bounce[kBounceSectors * kSectorBytes];

BOOL NtTransfer(HANDLE volume, DWORD start, WORD count, void* buffer, bool write) {
    if (SetFilePointer(volume, static_cast<LONG>(start * kSectorBytes), nullptr, FILE_BEGIN) ==
        INVALID_SET_FILE_POINTER)
        return FALSE;
    DWORD want = count * kSectorBytes, done = 0;
    const bool bounce =
        reinterpret_cast<std::uintptr_t>(buffer) % kSectorBytes != 0 && count <= kBounceSectors;
    void* io = bounce ? t_bounce : buffer;
    if (bounce && write) std::memcpy(t_bounce, buffer, want);
    BOOL ok = write ? WriteFile(volume, io, want, &done, nullptr)
                    : ReadFile(volume, io, want, &done, nullptr);
    if (bounce && !write) std::memcpy(buffer, t_bounce, done);
    if (!ok) return FALSE;
    if (done != want) {
        // The medium ended inside the track side: say so rather than leave a stale code.
        SetLastError(kSectorNotFoundCode);
        return FALSE;
    }
    return TRUE;
}

BOOL DriverCall(HANDLE driver, DWORD code, const DriverRequest& request) {
    std::uint8_t record[kDriverRequestBytes];
    StoreDriverRequest(request, record);
    DWORD returned = 0;
    BOOL result =
        DeviceIoControl(driver, code, record, sizeof record, nullptr, 0, &returned, nullptr);
    if (!result) {
        SetLastError(GetLastError() | DISK_ERROR_FLAG);
        return FALSE;
    }
    return result;
}

BOOL DriverTransfer(HANDLE driver, WORD driveIndex, DWORD start, WORD count, void* buffer,
                    bool write) {
    platform::FlatMapping flat(buffer, count * kSectorBytes);
    return DriverCall(driver, write ? kDriverWrite : kDriverRead,
                      {driveIndex, count, start, flat.address()});
}

// Sends the block to VWIN32, which writes the registers of the finished DOS call back into it;
// returns the call's own result and leaves the system's code when it fails.
BOOL Vwin32Call(HANDLE vwin32, DWORD code, DIOC_REGISTERS& regs) {
    std::uint8_t block[kDiocRegistersBytes];
    StoreRegisters(regs, block);
    DWORD returned = 0;
    BOOL result =
        DeviceIoControl(vwin32, code, block, sizeof block, block, sizeof block, &returned, nullptr);
    if (!result) return FALSE;
    regs = LoadRegisters(block);
    return result;
}

BOOL Vwin32Transfer(HANDLE vwin32, WORD driveIndex, DWORD start, WORD count, void* buffer,
                    bool write, bool extended) {
    platform::FlatMapping flatBuffer(buffer, count * kSectorBytes);
    std::uint8_t packet[kDiskIoPacketBytes];
    StorePacket({start, count, flatBuffer.address()}, packet);
    platform::FlatMapping flatPacket(packet, sizeof packet);

    DIOC_REGISTERS regs{};
    DWORD code;
    regs.reg_EBX = flatPacket.address();
    regs.reg_ECX = 0xFFFF;
    if (extended) {
        code = VWIN32_DIOC_DOS_DRIVEINFO;
        regs.reg_EAX = 0x7305;
        regs.reg_EDX = driveIndex + 1u;
        regs.reg_ESI = write ? 1 : 0;
        regs.reg_Flags = 0;
    } else {
        code = write ? VWIN32_DIOC_DOS_INT26 : VWIN32_DIOC_DOS_INT25;
        regs.reg_EAX = driveIndex;
        regs.reg_Flags = 1;
    }
    BOOL result = Vwin32Call(vwin32, code, regs);
    if (!result) return FALSE;
    if (regs.reg_Flags & kCarryFlag) {
        SetLastError(DISK_ERROR_FLAG + (regs.reg_EAX & 0xFF));
        return FALSE;
    }
    return result;
}

BOOL Transfer(const DriveContext& drive, WORD driveIndex, DWORD start, WORD count, void* buffer,
              bool write) {
    switch (SelectDriveBackend(drive)) {
        case DriveBackend::NtVolume:
            return NtTransfer(drive.hVolume, start, count, buffer, write);
        case DriveBackend::OwnDriver:
            return DriverTransfer(drive.hDriver, driveIndex, start, count, buffer, write);
        case DriveBackend::Vwin32Extended:
            return Vwin32Transfer(drive.hVwin32, driveIndex, start, count, buffer, write, true);
        case DriveBackend::Vwin32Absolute:
            return Vwin32Transfer(drive.hVwin32, driveIndex, start, count, buffer, write, false);
    }
    return FALSE;
}

BOOL Win95Lock(HANDLE vwin32, DIOC_REGISTERS regs) {
    regs.reg_EAX = 0x440D;
    regs.reg_Flags = 1;
    BOOL result = Vwin32Call(vwin32, VWIN32_DIOC_DOS_IOCTL, regs);
    if (!result) return FALSE;
    // Whatever AL says, a refused lock or unlock is reported as the locked drive.
    if (regs.reg_Flags & kCarryFlag) {
        SetLastError(kLockRefusedCode);
        return FALSE;
    }
    return result;
}

}  // namespace

DriveBackend SelectDriveBackend(const DriveContext& drive) {
    if (drive.isNT) return DriveBackend::NtVolume;
    if (drive.driverLoaded) return DriveBackend::OwnDriver;
    if (drive.useExtendedAccess) return DriveBackend::Vwin32Extended;
    return DriveBackend::Vwin32Absolute;
}

const char* DriveBackendName(DriveBackend backend) {
    switch (backend) {
        case DriveBackend::NtVolume:
            return "raw volume";
        case DriveBackend::OwnDriver:
            return "own driver";
        case DriveBackend::Vwin32Extended:
            return "VWIN32 extended (7305h)";
        case DriveBackend::Vwin32Absolute:
            return "VWIN32 absolute (Int 25h/26h)";
    }
    return "?";
}

DWORD StartSector(WORD head, WORD cylinder, WORD count, WORD heads) {
    return static_cast<DWORD>(count) *
           (static_cast<DWORD>(head) + static_cast<DWORD>(heads) * static_cast<DWORD>(cylinder));
}

BOOL ReadSectors(const DriveContext& drive, WORD driveIndex, WORD head, WORD cylinder, WORD count,
                 void* buffer, DWORD, WORD heads) {
    return Transfer(drive, driveIndex, StartSector(head, cylinder, count, heads), count, buffer,
                    false);
}

BOOL ReadSectorRange(const DriveContext& drive, WORD driveIndex, WORD head, WORD cylinder,
                     WORD sectorsPerTrack, WORD first, WORD count, void* buffer, WORD heads) {
    DWORD start = StartSector(head, cylinder, sectorsPerTrack, heads) + first;
    return Transfer(drive, driveIndex, start, count, buffer, false);
}

BOOL WriteSectors(const DriveContext& drive, WORD driveIndex, WORD head, WORD cylinder, WORD count,
                  void* buffer, DWORD, WORD heads) {
    return Transfer(drive, driveIndex, StartSector(head, cylinder, count, heads), count, buffer,
                    true);
}

BOOL LockVolume(const DriveContext& drive, WORD driveIndex, BYTE lockLevel, WORD permissions,
                BOOL extended) {
    if (drive.isNT) {
        if (platform::LockDriveVolume(drive.hVolume, DriveLetter(driveIndex), true)) return TRUE;
        // The system's "Access is denied." would not tell the user what to close.
        if (platform::DriveVolumeInUse(GetLastError()))
            SetLastError(kVolumeInUseCode + driveIndex % 26u);
        return FALSE;
    }
    DIOC_REGISTERS regs{};
    regs.reg_EBX = lockLevel * 256u + driveIndex + 1u;
    regs.reg_ECX = extended ? 0x484A : 0x084A;
    regs.reg_EDX = permissions;
    return Win95Lock(drive.hVwin32, regs);
}

BOOL UnlockVolume(const DriveContext& drive, WORD driveIndex, BOOL extended) {
    if (drive.isNT) return platform::LockDriveVolume(drive.hVolume, DriveLetter(driveIndex), false);
    DIOC_REGISTERS regs{};
    regs.reg_EBX = driveIndex + 1u;
    regs.reg_ECX = extended ? 0x486A : 0x086A;
    return Win95Lock(drive.hVwin32, regs);
}

BOOL DismountVolume(const DriveContext& drive, WORD driveIndex) {
    if (!drive.isNT) return TRUE;
    return platform::DismountDriveVolume(drive.hVolume, DriveLetter(driveIndex));
}

bool DriveFormat(const DriveContext& drive, DiskFormat* format, long long* bytes) {
    *format = DiskFormat{};
    if (bytes) *bytes = 0;
    platform::MediumGeometry g;
    if (!drive.isNT || !platform::QueryMediumGeometry(drive.hVolume, &g)) return false;
    if (bytes)
        *bytes = g.cylinders > 0 ? g.cylinders * g.heads * g.sectorsPerTrack * g.bytesPerSector
                                 : g.bytes;
    if (g.cylinders > 0 && g.bytesPerSector != 512) return false;
    return FormatFromDrive(g.cylinders, g.heads, g.sectorsPerTrack, g.bytes, format);
}

BOOL ProbeExtendedAccess(HANDLE hVwin32, WORD driveIndex, void* bootSector) {
    platform::FlatMapping flatBuffer(bootSector, kSectorBytes);
    std::uint8_t packet[kDiskIoPacketBytes];
    StorePacket({0, 1, flatBuffer.address()}, packet);
    platform::FlatMapping flatPacket(packet, sizeof packet);
    DIOC_REGISTERS regs{};
    regs.reg_EBX = flatPacket.address();
    regs.reg_EDX = driveIndex + 1u;
    regs.reg_ECX = 0xFFFF;
    regs.reg_EAX = 0x7305;
    regs.reg_ESI = 0;
    regs.reg_Flags = 0;
    return Vwin32Call(hVwin32, VWIN32_DIOC_DOS_DRIVEINFO, regs);
}

BOOL ReleaseDriver(HANDLE hDriver, WORD driveIndex) {
    return DriverCall(hDriver, kDriverRelease, {driveIndex, 0, 0, 0});
}
