#include <cstdio>
#include <cstring>
#include <string>

#include "engine/disk_job.h"
#include "platform/window.h"

namespace {

// Progress goes out at cylinders 0, step, 2 x step, ...: twenty times for 40 or 80 cylinders.
struct Progress {
    explicit Progress(int cylinders) : step(cylinders / 20 > 0 ? cylinders / 20 : 1) {}
    void At(const CWorkerThread& job, int cylinder) {
        if (threshold == cylinder) {
            job.SendToOwner(WM_COMMAND, ID_JOB_PROGRESS, 0);
            threshold += step;
        }
    }
    int step;
    int threshold = 0;
};

}  // namespace

int CDiskJob::CompressPass() {
    Progress progress(m_format.cylinders);
    char status[64];

    if (!m_rawImage && !WriteImageHeader()) return 0;
    for (int cylinder = 0; cylinder < m_format.cylinders; ++cylinder) {
        for (int head = 0; head < m_format.heads; ++head) {
            std::snprintf(status, sizeof status, "Reading Cylinder - %d  Head - %d", cylinder,
                          head);
            SetStatus(status);
            if (!ReadTrack(cylinder, head)) {
                ReportDiskError("Read Error");
                return 0;
            }
            // A cancel takes effect between reading a side and writing it.
            if (IsCancelRequested(0)) {
                m_result = JobCancelled;
                return 0;
            }
            SetStatus("Writing File");
            if (!WriteTrackOut()) {
                ShowError("  Error writing file. ", "Write Error");
                return 0;
            }
        }
        progress.At(*this, cylinder);
    }
    return 1;
}

int CDiskJob::ExpandPass() {
    // However the pass ends, the diskette is no longer the one the system's file system may
    // have cached; it must forget it while the volume is still locked, or it would write its
    // old FAT back over the new diskette. A dismount that fails leaves the written diskette as
    // it is, so it does not fail the job.
    struct DismountAtEnd {
        CDiskJob& job;
        ~DismountAtEnd() { ::DismountVolume(job.Drive(), job.m_driveIndex); }
    } dismount{*this};
    Progress progress(m_format.cylinders);
    char status[64];

    for (int cylinder = 0; cylinder < m_format.cylinders; ++cylinder) {
        for (int head = 0; head < m_format.heads; ++head) {
            SetStatus("Reading File");
            if (!ReadTrackIn(cylinder, head)) {
                ShowError("  Error reading file. ", "Read Error");
                return 0;
            }
            std::snprintf(status, sizeof status, "Writing Cylinder - %d  Head - %d", cylinder,
                          head);
            SetStatus(status);
            if (!WriteTrack(cylinder, head)) {
                ReportDiskError("Write Error");
                return 0;
            }
            if (IsCancelRequested(0)) {
                m_result = JobCancelled;
                return 0;
            }
        }
        progress.At(*this, cylinder);
    }
    return 1;
}

int CDiskJob::VerifyPass() {
    Progress progress(m_format.cylinders);
    char status[64];

    for (int cylinder = 0; cylinder < m_format.cylinders; ++cylinder) {
        for (int head = 0; head < m_format.heads; ++head) {
            std::snprintf(status, sizeof status, "Verifing Cylinder - %d  Head - %d", cylinder,
                          head);
            SetStatus(status);
            if (!ReadTrack(cylinder, head)) {
                ReportDiskError("Read Error");
                return 0;
            }
            if (!ReadTrackIn(cylinder, head)) {
                ShowError("  Error reading file. ", "Read Error");
                return 0;
            }
            const auto* drive = reinterpret_cast<const std::uint8_t*>(&m_driveTrack);
            const auto* file = reinterpret_cast<const std::uint8_t*>(&m_fileTrack);
            size_t compared = static_cast<size_t>(m_trackBytes) + 2;
            if (std::memcmp(drive, file, compared) != 0) {
                size_t at = 0;
                while (drive[at] == file[at]) ++at;
                m_diffCylinder = cylinder;
                m_diffHead = head;
                m_diffByte = static_cast<int>(at);
                m_result = JobDifferent;
                // The file's name without its folders; either separator counts.
                size_t slash = m_imagePath.find_last_of("\\/");
                std::string name =
                    slash == std::string::npos ? m_imagePath : m_imagePath.substr(slash + 1);
                std::string text = "  " + name + " and " + m_driveLetter + ": are NOT the same! ";
                ShowError(text.c_str(), "Tavrel", MB_ICONINFORMATION);
                return 0;
            }
            if (IsCancelRequested(0)) {
                m_result = JobCancelled;
                return 0;
            }
            progress.At(*this, cylinder);
        }
    }
    return 1;
}
