// The rescue: a compress that goes on past read errors. A side that fails is read again, then
// sector by sector; what cannot be read is filled in and marked in the sector map. A resume
// reads only what the map still lacks and patches it into the image it rewrites, so nothing
// read before is ever lost.
#include <cstdio>
#include <cstring>

#include "engine/disk_job.h"
#include "engine/media_table.h"

namespace {

// Easy to spot in a dump of the image, and never what a formatted diskette holds.
constexpr char kUnreadableMarker[] = "UNREADABLE SECTOR ";

}  // namespace

void FillUnreadableSector(std::uint8_t* sector, int fillByte) {
    if (fillByte >= 0) {
        std::memset(sector, fillByte, kSectorBytes);
        return;
    }
    constexpr int length = sizeof kUnreadableMarker - 1;
    for (int i = 0; i < kSectorBytes; ++i)
        sector[i] = static_cast<std::uint8_t>(kUnreadableMarker[i % length]);
}

void CDiskJob::RunRescue() {
    const MediaTypeEntry& media = MediaTypeTable[m_mediaIndex];
    const int sectors = 2 * (media.lastCylinder + 1) * media.sectorsPerTrack;
    const bool resume = m_rescueResume != 0;
    int method = m_compress ? RunLength : None;
    int oldMethod = None;
    if (resume) {
        if (m_sectorMap.sectors != sectors) {
            ShowError("  The map does not fit the diskette in the drive. ");
            return;
        }
        if (!OpenImage(m_imagePath, TRUE)) return;
        if (!ReadImageHeader()) {
            m_hImage.Close();
            return;
        }
        oldMethod = g_imageHeader.compression;
        // A resume keeps the image's method unless told to store the sides as they are.
        if (m_compress) method = oldMethod;
    } else {
        m_sectorMap.Reset(sectors, SectorNonTried);
    }
    FillUnreadableSector(m_fillSector, m_rescueFill);
    // The old image is read while the new one is written: it must not be written over.
    if (!OpenImage(m_imagePath, FALSE, !resume)) {
        m_hImage.Close();
        return;
    }
    g_imageHeader.compression = static_cast<std::uint8_t>(method);
    int passResult = RescuePass(oldMethod, resume);
    m_hImage.Close();
    JobResult ending = m_result == JobCancelled ? JobCancelled : JobDone;
    if (CloseImage(passResult) && passResult) {
        m_rescueWritten = 1;
        m_result = ending;
    } else {
        m_result = JobFailed;
    }
}

int CDiskJob::RescuePass(int oldMethod, bool resume) {
    const MediaTypeEntry& media = MediaTypeTable[m_mediaIndex];
    if (!WriteImageHeader()) return 0;
    bool cancelled = false;
    for (int cylinder = 0; cylinder <= media.lastCylinder; ++cylinder) {
        for (int head = 0; head < 2; ++head) {
            if (resume && (!ReadTrackRecord(oldMethod) || m_fileTrack.cylinder != cylinder ||
                           m_fileTrack.head != head)) {
                ShowError("  Error reading file. ", "Read Error");
                return 0;
            }
            RescueSide(cylinder, head, resume, &cancelled);
            if (!WriteTrackRecord()) {
                ShowError("  Error writing file. ", "Write Error");
                return 0;
            }
        }
    }
    if (cancelled) m_result = JobCancelled;
    return 1;
}

BOOL CDiskJob::RescueSide(int cylinder, int head, bool resume, bool* cancelled) {
    const int perSide = MediaTypeTable[m_mediaIndex].sectorsPerTrack;
    char* states = m_sectorMap.states + (2 * cylinder + head) * perSide;
    m_driveTrack.cylinder = static_cast<std::uint8_t>(cylinder);
    m_driveTrack.head = static_cast<std::uint8_t>(head);
    // What the image keeps unless the drive gives better: the old image's side, or the fill.
    if (resume) {
        std::memcpy(m_driveTrack.data, m_fileTrack.data, static_cast<size_t>(m_trackBytes));
    } else {
        for (int s = 0; s < perSide; ++s)
            std::memcpy(m_driveTrack.data + s * kSectorBytes, m_fillSector, kSectorBytes);
    }
    if (!*cancelled && IsCancelRequested(0)) *cancelled = true;
    if (*cancelled) return FALSE;

    int unread = 0;
    bool badBefore = false;
    for (int s = 0; s < perSide; ++s) {
        unread += states[s] != SectorFinished;
        badBefore = badBefore || states[s] == SectorBad;
    }
    if (unread == 0) return TRUE;
    // A side nobody has found fault with yet is read whole, as a compress reads it.
    if (unread == perSide && !badBefore &&
        ReadWithRetries(cylinder, head, 0, perSide, m_fileTrack.data, cancelled)) {
        std::memcpy(m_driveTrack.data, m_fileTrack.data, static_cast<size_t>(m_trackBytes));
        std::memset(states, SectorFinished, static_cast<size_t>(perSide));
        m_rescueRecovered += perSide;
        return TRUE;
    }
    for (int s = 0; s < perSide && !*cancelled; ++s) {
        if (states[s] == SectorFinished) continue;
        if (ReadWithRetries(cylinder, head, s, 1, m_sectorBuffer, cancelled)) {
            std::memcpy(m_driveTrack.data + s * kSectorBytes, m_sectorBuffer, kSectorBytes);
            states[s] = SectorFinished;
            ++m_rescueRecovered;
        } else {
            // Tried and failed (a cancel comes only after a failed read); a resume keeps the
            // older image's bytes for it.
            states[s] = SectorBad;
        }
    }
    return TRUE;
}

BOOL CDiskJob::ReadWithRetries(int cylinder, int head, int first, int count, std::uint8_t* buffer,
                               bool* cancelled) {
    const WORD perSide = MediaTypeTable[m_mediaIndex].sectorsPerTrack;
    char status[96];
    for (int round = 0; round <= m_rescueRetries; ++round) {
        if (*cancelled || (round > 0 && IsCancelRequested(0))) {
            *cancelled = true;
            return FALSE;
        }
        m_rescueRound = round;
        if (count == perSide)
            std::snprintf(status, sizeof status, "Reading Cylinder - %d  Head - %d  Round - %d",
                          cylinder, head, round);
        else
            std::snprintf(status, sizeof status,
                          "Reading Cylinder - %d  Head - %d  Sector - %d  Round - %d", cylinder,
                          head, first + 1, round);
        SetStatus(status);
        ++m_rescueReads;
        if (::ReadSectorRange(Drive(), m_driveIndex, static_cast<WORD>(head),
                              static_cast<WORD>(cylinder), perSide, static_cast<WORD>(first),
                              static_cast<WORD>(count), buffer))
            return TRUE;
    }
    return FALSE;
}
