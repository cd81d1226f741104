// The drives as an emulated Windows 95 service reaches them: the device or raw image file that
// the drive map gives for each letter, opened through the platform's own file calls on first
// use, so that the platform's fault seam reaches every transfer.
#pragma once

#include "platform/handle.h"
#include "platform/win_types.h"

namespace emulation {

// Why a transfer failed, in terms each service turns into its own code.
enum class MediaError {
    None,
    UnknownUnit,     // no drive behind the letter
    NotReady,        // the drive is there but cannot be opened
    WriteProtected,  // the medium refuses writes
    SeekError,       // positioning failed
    SectorNotFound,  // the transfer reaches past the end of the medium
    ReadFault,
    WriteFault,
    General,
};

constexpr int kDriveLetters = 26;

class DriveBay {
  public:
    // Moves count whole sectors from start sector on drive index (0 = A:). buffer holds
    // count x 512 bytes. The drive stays open for later transfers until Close or destruction.
    MediaError Transfer(DWORD driveIndex, DWORD start, DWORD count, void* buffer, bool write);
    void Close(DWORD driveIndex);
    // The last system code met, for a test that wants to see it.
    DWORD lastSystemCode() const { return m_lastSystemCode; }

  private:
    MediaError Open(DWORD driveIndex);

    UniqueHandle m_drives[kDriveLetters];
    DWORD m_lastSystemCode = 0;
};

}  // namespace emulation
