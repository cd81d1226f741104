#include <cstring>

#include "drive/media_table.h"
#include "engine/disk_job.h"

BOOL CDiskJob::DetectMedia() {
    std::memset(m_bootSector, 0, sizeof m_bootSector);
    if (!ReadSectors(m_driveIndex, 0, 0, 1, m_bootSector, sizeof m_bootSector)) {
        ReportDiskError("Read Error");
        return FALSE;
    }
    int row = MatchMediaType(m_bootSector);
    if (row < 0) {
        ShowError("  Drive media type not supported. ");
        return FALSE;
    }
    m_mediaCode = MediaTypeTable[row].mediaCode;
    g_imageHeader.mediaCode = static_cast<std::uint8_t>(m_mediaCode & 0xFF);
    m_mediaIndex = row;
    m_trackBytes = MediaTypeTable[row].sectorsPerTrack * kSectorBytes;
    return TRUE;
}

BOOL CDiskJob::ReadTrack(int cylinder, int head) {
    BOOL ok = ReadSectors(m_driveIndex, static_cast<WORD>(head), static_cast<WORD>(cylinder),
                          MediaTypeTable[m_mediaIndex].sectorsPerTrack, m_driveTrack.data,
                          sizeof m_driveTrack.data);
    // Labelled whether or not the read worked: verify compares the label with the record's.
    m_driveTrack.cylinder = static_cast<std::uint8_t>(cylinder);
    m_driveTrack.head = static_cast<std::uint8_t>(head);
    return ok;
}

BOOL CDiskJob::WriteTrack(int cylinder, int head) {
    return WriteSectors(m_driveIndex, static_cast<WORD>(head), static_cast<WORD>(cylinder),
                        MediaTypeTable[m_mediaIndex].sectorsPerTrack, m_fileTrack.data,
                        sizeof m_fileTrack.data);
}
