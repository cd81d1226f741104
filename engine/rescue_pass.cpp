// The rescue: a compress that goes on past read errors. A side that fails is read again, then
// sector by sector; what cannot be read is filled in and marked in the sector map.
//
// The whole diskette lives in the job. At every checkpoint it replaces the image, and only then
// does the map replace the older map: the map never marks a sector read that the image at the
// path lacks, and a crash, a kill or a power cut loses only what was read since the last
// checkpoint. A resume starts from the older image and reads only what the map still lacks, so
// nothing read before is ever lost.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "drive/disk_errors.h"
#include "drive/drive_access.h"
#include "drive/media_table.h"
#include "engine/disk_job.h"
#include "platform/file_api.h"
#include "platform/last_error.h"

namespace {

// Easy to spot in a dump of the image, and never what a formatted diskette holds.
constexpr char kUnreadableMarker[] = "UNREADABLE SECTOR ";

// As often as GNU ddrescue saves its mapfile. A side on which a read failed is kept at once
// besides: its sectors cost the most reads, and a weak one may never read again.
constexpr std::int64_t kCheckpointSeconds = 30;

std::int64_t Seconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

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
    m_rescueBootRead = m_rescueDurabilityShown = false;
    bool cancelled = false;
    if (!RescueMedia(&cancelled)) {
        if (cancelled) m_result = JobCancelled;
        return;
    }
    if (m_rescueKeeper && !m_rescueKeeper->Identify(m_rescueBootRead ? m_bootSector : nullptr))
        return;
    // The map goes first: it must never mark read what an image committed meanwhile lacks.
    // That also finds out, before the first read, whether image and map can be written.
    if (!RescueCheckpoint(RescueMapKeeper::Reading, true)) return;

    const int heads = m_format.heads;
    const int sides = heads * m_format.cylinders;
    for (int side = 0; side < sides && !cancelled; ++side) {
        m_rescueReadFailed = false;
        RescueSide(side / heads, side % heads, &cancelled);
        const bool changed = std::memcmp(m_sectorMap.states, m_checkpointMap.states,
                                         static_cast<size_t>(m_sectorMap.sectors)) != 0;
        if (!cancelled && changed &&
            (m_rescueReadFailed || Seconds() - m_checkpointTime >= kCheckpointSeconds) &&
            !RescueCheckpoint(RescueMapKeeper::Reading, false))
            return;
    }
    if (!RescueCheckpoint(cancelled ? RescueMapKeeper::Cancelled : RescueMapKeeper::Finished,
                          false))
        return;
    m_result = cancelled ? JobCancelled : JobDone;
}

BOOL CDiskJob::RescueMedia(bool* cancelled) {
    const bool resume = m_rescueResume != 0;
    std::memset(m_bootSector, 0, sizeof m_bootSector);
    DWORD error = 0;
    char status[64];
    int bootReads = 0;
    for (int round = 0; round <= m_rescueRetries && !m_rescueBootRead; ++round) {
        if (round > 0 && IsCancelRequested(0)) {
            *cancelled = true;
            return FALSE;
        }
        m_rescueRound = round;
        std::snprintf(status, sizeof status, "Reading Boot Sector  Round - %d", round);
        SetStatus(status);
        ++bootReads;
        m_rescueBootRead = ReadSectors(m_driveIndex, 0, 0, 1, m_bootSector, sizeof m_bootSector);
        if (!m_rescueBootRead) error = GetLastError();
    }
    // The drive's driver knows the format without the boot sector: the rescue then reads
    // everything else, and the boot sector is one of the sectors it could not read.
    bool known = false;
    if (m_rescueBootRead) {
        known = IdentifyFormat(true);
    } else if (!resume || m_rawImage) {
        known = DriveFormat(Drive(), &m_format);
        if (!known && !resume) {
            const std::string text =
                "  The boot sector cannot be read, so the diskette's format is "
                "unknown: " +
                DiskErrorText(error, m_driverLoaded) + " ";
            ShowError(text.c_str(), "Read Error");
            return FALSE;
        }
        if (known && !resume) {
            const std::string name = m_format.mediaRow >= 0
                                         ? std::string(MediaTypeName(m_format.mediaRow))
                                         : FormatName(m_format);
            const std::string text = "  The boot sector cannot be read: the drive reports a " +
                                     name + " diskette, and the rescue reads it as one. ";
            ShowError(text.c_str(), "Read Error", MB_ICONEXCLAMATION);
        }
    }
    // A .tvl holds only the table's formats; a raw image whatever the drive reads.
    if (known && !resume) GoRawIfForeign();
    const bool fits = known && (m_rawImage || m_format.mediaRow >= 0);
    if (!fits && !resume) {
        ShowError("  Drive media type not supported. ");
        return FALSE;
    }
    if (fits && !UseFormat()) return FALSE;
    FillUnreadableSector(m_fillSector, m_rescueFill);
    // A resume's format is its image's: the drive's boot sector, when it reads, must agree.
    // A resume counts on from the map's tries, when the map has them: a boot sector read
    // before needed none of these reads.
    if (resume) {
        if (m_sectorMap.sectors > 0 && m_sectorMap.states[0] != SectorFinished)
            m_sectorMap.AddTries(0, bootReads);
        return LoadRescueImage();
    }
    m_sectorMap.Reset(m_format.sectors(), SectorNonTried);
    m_sectorMap.triesKnown = true;
    m_sectorMap.AddTries(0, bootReads);
    for (int s = 0; s < m_sectorMap.sectors; ++s)
        std::memcpy(m_rescueDisk + s * kSectorBytes, m_fillSector, kSectorBytes);
    m_rescueMethod = m_compress ? RunLength : None;
    return TRUE;
}

BOOL CDiskJob::LoadRescueImage() {
    if (m_rawImage) return LoadRawRescueImage();
    const bool knownFormat = m_mediaCode != 0;
    if (!OpenImage(m_imagePath, TRUE)) return FALSE;
    if (!ReadImageHeader(!knownFormat)) {
        m_hImage.Close();
        return FALSE;
    }
    const MediaTypeEntry& media = MediaTypeTable[m_mediaIndex];
    if (!knownFormat) {
        // The image's format is the job's; the driver learns it as for a boot sector's.
        const DiskFormat drive = m_format;
        m_format.cylinders = media.lastCylinder + 1;
        m_format.heads = 2;
        m_format.sectorsPerTrack = media.sectorsPerTrack;
        m_format.mediaRow = m_mediaIndex;
        if (drive.source == GeometrySource::None) m_format.source = GeometrySource::Drive;
        if (!UseFormat()) {
            m_hImage.Close();
            return FALSE;
        }
    }
    const int sides = 2 * (media.lastCylinder + 1);
    if (m_sectorMap.sectors != sides * media.sectorsPerTrack) {
        ShowError("  The map does not fit the diskette in the drive. ");
        m_hImage.Close();
        return FALSE;
    }
    const int oldMethod = g_imageHeader.compression;
    // A resume keeps the image's method unless told to store the sides as they are.
    m_rescueMethod = m_compress ? oldMethod : None;
    for (int side = 0; side < sides; ++side) {
        if (!ReadTrackRecord(oldMethod) || m_fileTrack.cylinder != side / 2 ||
            m_fileTrack.head != side % 2) {
            ShowError("  Error reading file. ", "Read Error");
            m_hImage.Close();
            return FALSE;
        }
        std::memcpy(m_rescueDisk + side * m_trackBytes, m_fileTrack.data,
                    static_cast<size_t>(m_trackBytes));
    }
    m_hImage.Close();
    // Without the drive's boot sector, the image's tells which of a format's rows it is.
    if (!knownFormat && m_sectorMap.states[0] == SectorFinished) {
        const int row = MatchMediaType(m_rescueDisk);
        if (row >= 0 && MediaTypeTable[row].mediaCode == m_mediaCode) m_mediaIndex = row;
    }
    return TRUE;
}

BOOL CDiskJob::LoadRawRescueImage() {
    if (!OpenImage(m_imagePath, TRUE)) return FALSE;
    const long long size = ImageFileSize();
    if (size < 0) {
        m_hImage.Close();
        return FALSE;
    }
    // Without the boot sector and the driver's word, the image's size tells the format.
    if (!m_format.known()) {
        if (!FormatFromDrive(0, 0, 0, size, &m_format)) {
            ShowError("  The image is not the size of a diskette. ");
            m_hImage.Close();
            return FALSE;
        }
        if (!UseFormat()) {  // it said why
            m_hImage.Close();
            return FALSE;
        }
    }
    if (m_sectorMap.sectors != m_format.sectors() || size != m_format.bytes()) {
        ShowError("  The map does not fit the diskette in the drive. ");
        m_hImage.Close();
        return FALSE;
    }
    DWORD done = 0;
    const BOOL read = ReadExact(m_rescueDisk, static_cast<DWORD>(size), &done);
    m_hImage.Close();
    if (!read) ShowError("  Error reading file. ", "Read Error");
    return read;
}

BOOL CDiskJob::RescueSide(int cylinder, int head, bool* cancelled) {
    const int perSide = m_format.sectorsPerTrack;
    const int first = (m_format.heads * cylinder + head) * perSide;
    char* states = m_sectorMap.states + first;
    std::uint8_t* side = m_rescueDisk + first * kSectorBytes;
    if (!*cancelled && IsCancelRequested(0)) *cancelled = true;
    if (*cancelled) return FALSE;

    int unread = 0;
    bool badBefore = false;
    for (int s = 0; s < perSide; ++s) {
        unread += states[s] != SectorFinished;
        badBefore = badBefore || states[s] == SectorBad;
    }
    if (unread == 0) return TRUE;
    // A sector's tries are the reads it took: those of its side when the side read whole,
    // else its own one by one (a side that fails says nothing of which sector failed it). The
    // boot sector read at the start needs no more.
    auto countTries = [&](int sector, long readsBefore) {
        if (first + sector == 0 && m_rescueBootRead) return;
        m_sectorMap.AddTries(first + sector, m_rescueReads - readsBefore);
    };
    // A side nobody has found fault with yet is read whole, as a compress reads it.
    if (unread == perSide && !badBefore) {
        const long before = m_rescueReads;
        if (ReadWithRetries(cylinder, head, 0, perSide, m_fileTrack.data, cancelled)) {
            for (int s = 0; s < perSide; ++s) countTries(s, before);
            std::memcpy(side, m_fileTrack.data, static_cast<size_t>(m_trackBytes));
            std::memset(states, SectorFinished, static_cast<size_t>(perSide));
            m_rescueRecovered += perSide;
            return TRUE;
        }
    }
    for (int s = 0; s < perSide && !*cancelled; ++s) {
        if (states[s] == SectorFinished) continue;
        const long before = m_rescueReads;
        const BOOL read = ReadWithRetries(cylinder, head, s, 1, m_sectorBuffer, cancelled);
        countTries(s, before);
        if (read) {
            std::memcpy(side + s * kSectorBytes, m_sectorBuffer, kSectorBytes);
            states[s] = SectorFinished;
            ++m_rescueRecovered;
        } else {
            // Tried and failed (a cancel comes only after a failed read); the image keeps
            // what it held for it.
            states[s] = SectorBad;
        }
    }
    // The boot sector read at the start is this diskette's too.
    if (first == 0 && m_rescueBootRead && states[0] != SectorFinished) {
        std::memcpy(side, m_bootSector, kSectorBytes);
        states[0] = SectorFinished;
        ++m_rescueRecovered;
    }
    return TRUE;
}

BOOL CDiskJob::ReadWithRetries(int cylinder, int head, int first, int count, std::uint8_t* buffer,
                               bool* cancelled) {
    const WORD perSide = static_cast<WORD>(m_format.sectorsPerTrack);
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
                              static_cast<WORD>(count), buffer, static_cast<WORD>(m_format.heads)))
            return TRUE;
        m_rescueReadFailed = true;
    }
    return FALSE;
}

BOOL CDiskJob::RescueCheckpoint(RescueMapKeeper::Moment moment, bool mapFirst) {
    // Never written in place: a kill in the middle would destroy what the map says it holds.
    if (!OpenImage(m_imagePath, FALSE, false)) return FALSE;
    if (m_rawImage) {
        // The whole diskette in one write: its content is the image.
        DWORD done;
        m_contentHash.Update(m_rescueDisk, static_cast<std::size_t>(m_format.bytes()));
        if (WriteExact(m_rescueDisk, static_cast<DWORD>(m_format.bytes()), &done))
            return RescueCommit(moment, mapFirst);
        ShowError("  Error writing file. ", "Write Error");
        m_newImage.Abandon();
        return FALSE;
    }
    g_imageHeader.mediaCode = static_cast<std::uint8_t>(m_mediaCode & 0xFF);
    g_imageHeader.compression = static_cast<std::uint8_t>(m_rescueMethod);
    BOOL ok = WriteImageHeader();
    const int sides = 2 * (MediaTypeTable[m_mediaIndex].lastCylinder + 1);
    for (int side = 0; ok && side < sides; ++side) {
        m_driveTrack.cylinder = static_cast<std::uint8_t>(side / 2);
        m_driveTrack.head = static_cast<std::uint8_t>(side % 2);
        std::memcpy(m_driveTrack.data, m_rescueDisk + side * m_trackBytes,
                    static_cast<size_t>(m_trackBytes));
        if (!WriteTrackRecord()) {
            ShowError("  Error writing file. ", "Write Error");
            ok = FALSE;
        }
    }
    if (!ok) {
        m_newImage.Abandon();
        return FALSE;
    }
    return RescueCommit(moment, mapFirst);
}

BOOL CDiskJob::RescueCommit(RescueMapKeeper::Moment moment, bool mapFirst) {
    if (mapFirst && m_rescueKeeper && !m_rescueKeeper->Save(m_sectorMap, moment)) {
        m_newImage.Abandon();
        return FALSE;
    }
    switch (m_newImage.Commit()) {
        case platform::ReplacementFile::Committed:
            break;
        case platform::ReplacementFile::CommittedNotDurable:
            // The image is in place; only its surviving a crash is in doubt. Said once a run.
            if (!m_rescueDurabilityShown) {
                m_rescueDurabilityShown = true;
                const std::string text = std::string(kNotDurableText) +
                                         DiskErrorText(GetLastError(), m_driverLoaded) + " ";
                ShowError(text.c_str(), "Write Error", MB_ICONEXCLAMATION);
            }
            break;
        default:
            ReportDiskError("Write Error");
            m_newImage.Abandon();
            return FALSE;
    }
    m_rescueWritten = 1;
    if (!mapFirst && m_rescueKeeper && !m_rescueKeeper->Save(m_sectorMap, moment)) return FALSE;
    m_checkpointMap = m_sectorMap;
    m_checkpointTime = Seconds();
    return TRUE;
}
