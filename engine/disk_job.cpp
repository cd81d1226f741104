#include "engine/disk_job.h"

#include <cstring>

#include "drive/disk_errors.h"
#include "platform/drive_volume.h"
#include "platform/file_api.h"
#include "platform/floppy_format.h"
#include "platform/version.h"
#include "platform/window.h"

thread_local ImageHeader g_imageHeader = {{kImageMagic0, kImageMagic1}, 0, 0};

namespace {
constexpr DWORD kDeviceAccess = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kDeviceShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

HANDLE OpenDevice(const char* path, DWORD access = kDeviceAccess) {
    return CreateFileA(path, access, kDeviceShare, nullptr, OPEN_EXISTING, 0, nullptr);
}
}  // namespace

CDiskJob::CDiskJob(Window* owner) : CWorkerThread(owner), m_headerRecord(&g_imageHeader) {
    std::memset(&m_driveTrack, 0, sizeof m_driveTrack);
    std::memset(&m_fileTrack, 0, sizeof m_fileTrack);
    std::memset(m_packBuffer, 0, sizeof m_packBuffer);
    std::memset(m_bootSector, 0, sizeof m_bootSector);
}

CDiskJob::~CDiskJob() = default;

int CDiskJob::NotifyDone() {
    PostToOwner(WM_COMMAND, ID_JOB_DONE, 0);
    return 0;
}

DriveContext CDiskJob::Drive() const {
    DriveContext d;
    d.isNT = m_isNT;
    d.driverLoaded = m_driverLoaded;
    d.useExtendedAccess = m_useExtendedAccess;
    d.hVolume = m_hVolume.get();
    d.hDriver = m_hDriver.get();
    d.hVwin32 = m_hVwin32.get();
    return d;
}

void CDiskJob::ShowError(const char* text, const char* caption, UINT icon) {
    platform::ShowMessageBox(m_hOwner, text, caption, MB_OK | icon);
}

void CDiskJob::SetStatus(const char* text) {
    SendToOwnerItem(IDC_STATUS, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

int CDiskJob::RunJob() {
    // The owner waits for the job's end before it starts another, so its record is not touched
    // while the job has it.
    struct HeaderRecord {
        ImageHeader* owner;
        explicit HeaderRecord(ImageHeader* record) : owner(record) { g_imageHeader = *owner; }
        ~HeaderRecord() { *owner = g_imageHeader; }
    } headerRecord(m_headerRecord);
    std::memset(&m_driveTrack, 0, sizeof m_driveTrack);
    std::memset(&m_fileTrack, 0, sizeof m_fileTrack);
    m_driveIndex = 0xFFFF;
    m_useExtendedAccess = m_driverLoaded = m_isNT = m_deleteImage = 0;
    m_mediaIndex = m_mediaCode = m_trackBytes = 0;
    m_format = DiskFormat{};
    m_layoutSet = false;
    m_result = JobFailed;
    m_diffCylinder = m_diffHead = m_diffByte = -1;
    m_rescueWritten = 0;
    m_rescueRound = m_rescueRecovered = 0;
    m_rescueReads = 0;
    m_newImage.Abandon();
    m_imageForWrite = 0;

    OSVERSIONINFOA version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT)
        RunNt();
    else
        RunWin95();
    return 0;
}

void CDiskJob::RunNt() {
    m_isNT = 1;
    char letter = m_driveLetter.empty() ? '?' : m_driveLetter[0];
    // Only an expand writes to the drive. Asking for no more than the job needs spares a
    // write-protected diskette a refusal, and a user the service asks for them a second question.
    m_hVolume.reset(platform::OpenDriveVolume(
        letter, m_operation == Expand ? kDeviceAccess : GENERIC_READ, kDeviceShare));
    if (!m_hVolume.valid()) {
        ReportDriveOpenError(m_hOwner, m_operation == Expand);
        return;
    }
    m_driveIndex = DriveIndexFromLetter(letter);
    // A rescue reads the boot sector again itself, with retries: a weak one must not stop it.
    const BOOL bootRead = ReadBootSector(m_driveIndex);
    if ((!bootRead && m_operation != Rescue) ||
        !LockVolume(m_driveIndex, 1, 0, m_useExtendedAccess)) {
        ReportDiskError("Drive Error");
        m_hVolume.Close();
        return;
    }
    RunOperation();
    // The driver goes back to finding the format itself, for the next diskette.
    if (m_layoutSet) platform::ClearFloppyLayout(m_hVolume.get());
    m_layoutSet = false;
    UnlockVolume(m_driveIndex, m_useExtendedAccess);
    // An expand's last writes reach the medium only with the close: if they cannot, the
    // diskette is not what the image holds, whatever the pass said.
    if (!m_hVolume.Close() && m_operation == Expand && m_result != JobFailed) {
        ReportDiskError("Write Error");
        m_result = JobFailed;
    }
    if (m_deleteImage) DeleteTemporaryImage();
}

void CDiskJob::RunWin95() {
    m_hVwin32.reset(OpenDevice("\\\\.\\vwin32"));
    if (!m_hVwin32.valid()) {
        ShowError("  Unable to load driver: vwin32. ");
        return;
    }
    char letter = m_driveLetter.empty() ? '?' : m_driveLetter[0];
    m_driveIndex = DriveIndexFromLetter(letter);
    if (ProbeExtendedAccess(m_driveIndex)) {
        m_useExtendedAccess = 1;
        SetStatus("OSR2 Supported...");
    }
    const BOOL bootRead = ReadBootSector(m_driveIndex);
    if ((!bootRead && m_operation != Rescue) ||
        !LockVolume(m_driveIndex, 1, 0, m_useExtendedAccess)) {
        ReportDiskError("Drive Error");
        m_hVwin32.Close();
        return;
    }
    // The own driver is opened only with the boot sector read and the volume locked.
    m_hDriver.reset(OpenDevice("\\\\.\\vtavrel.vxd"));
    if (m_hDriver.valid()) {
        m_driverLoaded = 1;
        SetStatus("Loading Tavrel Drivers...");
    }
    RunOperation();
    if (ReadBootSector(m_driveIndex) || m_operation == Rescue)
        UnlockVolume(m_driveIndex, m_useExtendedAccess);
    if (m_driverLoaded) {
        ReleaseDriver(m_driveIndex);
        m_hDriver.Close();
    }
    m_hVwin32.Close();
    if (m_deleteImage) DeleteTemporaryImage();
}

void CDiskJob::RunOperation() {
    // A rescue recognises the diskette itself: it retries the boot sector, and a resume
    // takes the format from its image.
    if (m_operation == Rescue) {
        RunRescue();
        return;
    }
    if (!DetectMedia()) return;
    int passResult = 0;
    bool opened = false;
    switch (m_operation) {
        case Compress:
            if ((opened = OpenImage(m_imagePath, FALSE))) {
                g_imageHeader.compression = m_compress ? RunLength : None;
                passResult = CompressPass();
                if (!passResult) m_deleteImage = 1;
            }
            break;
        case Expand:
            if ((opened = OpenImage(m_imagePath, TRUE)) &&
                (m_rawImage ? CheckRawImageSize() : ReadImageHeader()))
                passResult = ExpandPass();
            break;
        case Verify:
            if ((opened = OpenImage(m_imagePath, TRUE)) &&
                (m_rawImage ? CheckRawImageSize() : ReadImageHeader()))
                passResult = VerifyPass();
            break;
        default:
            break;
    }
    if (!opened) return;
    if (CloseImage(m_operation == Compress && passResult) && passResult) m_result = JobDone;
}

BOOL CDiskJob::ReadSectors(WORD driveIndex, WORD head, WORD cylinder, WORD count, void* buffer,
                           DWORD capacity) {
    const WORD heads = static_cast<WORD>(m_format.heads > 0 ? m_format.heads : 2);
    return ::ReadSectors(Drive(), driveIndex, head, cylinder, count, buffer, capacity, heads);
}

BOOL CDiskJob::WriteSectors(WORD driveIndex, WORD head, WORD cylinder, WORD count, void* buffer,
                            DWORD capacity) {
    const WORD heads = static_cast<WORD>(m_format.heads > 0 ? m_format.heads : 2);
    return ::WriteSectors(Drive(), driveIndex, head, cylinder, count, buffer, capacity, heads);
}

BOOL CDiskJob::ReadBootSector(WORD driveIndex) {
    return ReadSectors(driveIndex, 0, 0, 1, m_bootSector, sizeof m_bootSector);
}

BOOL CDiskJob::LockVolume(WORD driveIndex, BYTE lockLevel, WORD permissions, BOOL extended) {
    return ::LockVolume(Drive(), driveIndex, lockLevel, permissions, extended);
}

BOOL CDiskJob::UnlockVolume(WORD driveIndex, BOOL extended) {
    return ::UnlockVolume(Drive(), driveIndex, extended);
}

BOOL CDiskJob::ProbeExtendedAccess(WORD driveIndex) {
    return ::ProbeExtendedAccess(m_hVwin32.get(), driveIndex, m_bootSector);
}

BOOL CDiskJob::ReleaseDriver(WORD driveIndex) {
    return ::ReleaseDriver(m_hDriver.get(), driveIndex);
}

void CDiskJob::ReportDiskError(const char* caption) {
    ::ReportDiskError(m_hOwner, caption, m_driverLoaded);
}
