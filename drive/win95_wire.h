// Wire layouts of the Windows 95 disk services: the VWIN32 register block, the DOS disk I/O
// packet and the own driver's request record. All little-endian, without padding.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/le.h"
#include "platform/win_types.h"

// VWIN32 control codes
constexpr DWORD VWIN32_DIOC_DOS_IOCTL = 1;
constexpr DWORD VWIN32_DIOC_DOS_INT25 = 2;
constexpr DWORD VWIN32_DIOC_DOS_INT26 = 3;
constexpr DWORD VWIN32_DIOC_DOS_DRIVEINFO = 6;

// Own driver control codes
constexpr DWORD kDriverRead = 1;
constexpr DWORD kDriverWrite = 2;
constexpr DWORD kDriverRelease = 3;

constexpr DWORD kCarryFlag = 1;

struct DIOC_REGISTERS {
    DWORD reg_EBX, reg_EDX, reg_ECX, reg_EAX, reg_EDI, reg_ESI, reg_Flags;
};
constexpr DWORD kDiocRegistersBytes = 28;
static_assert(sizeof(DIOC_REGISTERS) == kDiocRegistersBytes);
static_assert(offsetof(DIOC_REGISTERS, reg_EAX) == 12 && offsetof(DIOC_REGISTERS, reg_Flags) == 24);

struct DiskIoPacket {
    DWORD startSector;
    WORD count;
    DWORD buffer;  // flat address
};
constexpr DWORD kDiskIoPacketBytes = 10;
// In memory the compiler pads the count; on the wire (StorePacket) the fields touch.
static_assert(sizeof(DiskIoPacket::startSector) + sizeof(DiskIoPacket::count) +
                  sizeof(DiskIoPacket::buffer) ==
              kDiskIoPacketBytes);

struct DriverRequest {
    DWORD driveIndex;
    DWORD count;
    DWORD startSector;
    DWORD buffer;  // flat address
};
constexpr DWORD kDriverRequestBytes = 16;
static_assert(sizeof(DriverRequest) == kDriverRequestBytes);

inline void StoreRegisters(const DIOC_REGISTERS& r, std::uint8_t* out) {
    const DWORD fields[7] = {r.reg_EBX, r.reg_EDX, r.reg_ECX,  r.reg_EAX,
                             r.reg_EDI, r.reg_ESI, r.reg_Flags};
    for (int i = 0; i < 7; ++i) le::Put32(out + 4 * i, fields[i]);
}
inline DIOC_REGISTERS LoadRegisters(const std::uint8_t* in) {
    return {le::Get32(in),      le::Get32(in + 4),  le::Get32(in + 8), le::Get32(in + 12),
            le::Get32(in + 16), le::Get32(in + 20), le::Get32(in + 24)};
}

inline void StorePacket(const DiskIoPacket& p, std::uint8_t* out) {
    le::Put32(out, p.startSector);
    le::Put16(out + 4, p.count);
    le::Put32(out + 6, p.buffer);
}
inline DiskIoPacket LoadPacket(const std::uint8_t* in) {
    return {le::Get32(in), le::Get16(in + 4), le::Get32(in + 6)};
}

inline void StoreDriverRequest(const DriverRequest& r, std::uint8_t* out) {
    le::Put32(out, r.driveIndex);
    le::Put32(out + 4, r.count);
    le::Put32(out + 8, r.startSector);
    le::Put32(out + 12, r.buffer);
}
inline DriverRequest LoadDriverRequest(const std::uint8_t* in) {
    return {le::Get32(in), le::Get32(in + 4), le::Get32(in + 8), le::Get32(in + 12)};
}
