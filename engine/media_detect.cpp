#include <cstring>

#include "drive/media_table.h"
#include "engine/disk_job.h"
#include "platform/floppy_format.h"

BOOL CDiskJob::DetectMedia() {
    std::memset(m_bootSector, 0, sizeof m_bootSector);
    if (!ReadSectors(m_driveIndex, 0, 0, 1, m_bootSector, sizeof m_bootSector)) {
        ReportDiskError("Read Error");
        return FALSE;
    }
    // A .tvl holds only the table's formats; a raw image holds whatever the drive reads.
    const BOOL identified = IdentifyFormat(true);
    if (identified) GoRawIfForeign();
    if (!identified || (!m_rawImage && m_format.mediaRow < 0)) {
        ShowError("  Drive media type not supported. ");
        return FALSE;
    }
    return UseFormat();
}

BOOL CDiskJob::IdentifyFormat(bool bootRead) {
    m_format = DiskFormat{};
    if (bootRead && FormatFromBootSector(m_bootSector, &m_format)) return TRUE;
    long long driveBytes = 0;
    DiskFormat drive;
    const bool driveKnows = DriveFormat(Drive(), &drive, &driveBytes);
    // DOS 1.x left the parameter block out; its FAT, in sector 1, starts with the layout's ID.
    // The drive's cylinders are those its driver reports, else those its size holds.
    if (bootRead && ::ReadSectorRange(Drive(), m_driveIndex, 0, 0, 1, 1, 1, m_sectorBuffer) &&
        FormatFromFatId(m_sectorBuffer, 0, &m_format)) {
        const int cylinders = driveKnows ? drive.cylinders : CylindersOfSize(m_format, driveBytes);
        FormatFromFatId(m_sectorBuffer, cylinders, &m_format);
        return TRUE;
    }
    if (!driveKnows) return FALSE;
    m_format = drive;
    // A boot sector that reads and names no format is no table format's, whatever the layout.
    if (bootRead) m_format.mediaRow = -1;
    return TRUE;
}

void CDiskJob::GoRawIfForeign() {
    if (m_rawImage || m_format.mediaRow >= 0 || m_rawPathIfForeign.empty()) return;
    m_rawImage = 1;
    m_imagePath = m_rawPathIfForeign;
}

BOOL CDiskJob::UseFormat() {
    const int row = m_format.mediaRow;
    m_mediaIndex = row >= 0 ? row : 0;
    m_mediaCode = row >= 0 ? MediaTypeTable[row].mediaCode : 0;
    if (row >= 0) g_imageHeader.mediaCode = static_cast<std::uint8_t>(m_mediaCode & 0xFF);
    m_trackBytes = m_format.sectorsPerTrack * kSectorBytes;
    // Windows 95's services take the layout from the diskette for every request.
    if (!m_isNT) return TRUE;
    platform::FloppyLayout layout;
    layout.cylinders = m_format.cylinders;
    layout.heads = m_format.heads;
    layout.sectorsPerTrack = m_format.sectorsPerTrack;
    bool set = false;
    if (!platform::SetFloppyLayout(m_hVolume.get(), layout, &set)) {
        ReportDiskError("Drive Error");
        return FALSE;
    }
    m_layoutSet = set;
    return TRUE;
}

BOOL CDiskJob::ReadTrack(int cylinder, int head) {
    BOOL ok = ReadSectors(m_driveIndex, static_cast<WORD>(head), static_cast<WORD>(cylinder),
                          static_cast<WORD>(m_format.sectorsPerTrack), m_driveTrack.data,
                          sizeof m_driveTrack.data);
    // Labelled whether or not the read worked: verify compares the label with the record's.
    m_driveTrack.cylinder = static_cast<std::uint8_t>(cylinder);
    m_driveTrack.head = static_cast<std::uint8_t>(head);
    return ok;
}

BOOL CDiskJob::WriteTrack(int cylinder, int head) {
    return WriteSectors(m_driveIndex, static_cast<WORD>(head), static_cast<WORD>(cylinder),
                        static_cast<WORD>(m_format.sectorsPerTrack), m_fileTrack.data,
                        sizeof m_fileTrack.data);
}
