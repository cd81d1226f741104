#include "drive/emulation/drive_bay.h"

#include <cerrno>
#include <cstdio>

#include "platform/file_api.h"
#include "platform/last_error.h"

namespace emulation {
namespace {

constexpr DWORD kSectorBytes = 512;

MediaError FromSystemCode(DWORD code, bool write) {
    switch (code) {
        case EROFS:
        case platform::kVolumeWriteProtected:
            return write ? MediaError::WriteProtected : MediaError::General;
        case platform::kVolumeNoMedium:
        case ENOMEDIUM:
        case ENXIO:
        case ENODEV:
        case ENOENT:
            return MediaError::NotReady;
        case EIO:
        case platform::kVolumeBadSector:
            return write ? MediaError::WriteFault : MediaError::ReadFault;
        default:
            return MediaError::General;
    }
}

}  // namespace

MediaError DriveBay::Open(DWORD driveIndex) {
    char path[8];
    std::snprintf(path, sizeof path, "\\\\.\\%c:", static_cast<char>('A' + driveIndex));
    m_drives[driveIndex].reset(CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
    if (m_drives[driveIndex].valid()) return MediaError::None;
    m_lastSystemCode = GetLastError();
    // The drive map has nothing for the letter: there is no such unit. Anything else means a
    // unit whose medium cannot be reached.
    return m_lastSystemCode == ENODEV ? MediaError::UnknownUnit : MediaError::NotReady;
}

MediaError DriveBay::Transfer(DWORD driveIndex, DWORD start, DWORD count, void* buffer,
                              bool write) {
    if (driveIndex >= kDriveLetters) return MediaError::UnknownUnit;
    if (!m_drives[driveIndex].valid()) {
        if (MediaError e = Open(driveIndex); e != MediaError::None) return e;
    }
    HANDLE drive = m_drives[driveIndex].get();
    unsigned long long offset = static_cast<unsigned long long>(start) * kSectorBytes;
    LONG high = static_cast<LONG>(offset >> 32);
    if (SetFilePointer(drive, static_cast<LONG>(offset & 0xFFFFFFFFu), &high, FILE_BEGIN) ==
            INVALID_SET_FILE_POINTER &&
        GetLastError() != 0) {
        m_lastSystemCode = GetLastError();
        return MediaError::SeekError;
    }
    if (count == 0) return MediaError::None;
    DWORD want = count * kSectorBytes, done = 0;
    BOOL ok = write ? WriteFile(drive, buffer, want, &done, nullptr)
                    : ReadFile(drive, buffer, want, &done, nullptr);
    if (!ok) {
        m_lastSystemCode = GetLastError();
        return FromSystemCode(m_lastSystemCode, write);
    }
    return done == want ? MediaError::None : MediaError::SectorNotFound;
}

void DriveBay::Close(DWORD driveIndex) {
    if (driveIndex < kDriveLetters) m_drives[driveIndex].reset();
}

}  // namespace emulation
