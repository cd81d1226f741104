#include <cstring>
#include <string>
#include <utility>

#include "drive/disk_errors.h"
#include "drive/media_table.h"
#include "engine/disk_job.h"
#include "engine/track_codec.h"
#include "platform/error_codes.h"
#include "platform/file_api.h"
#include "platform/last_error.h"

namespace {

// Records go to and come from the image file through the job's exact reads and writes.
class JobSink final : public ByteSink {
  public:
    explicit JobSink(CDiskJob& job) : m_job(job) { m_job.m_recordUsed = 0; }
    int Write(const void* data, std::uint32_t count) override {
        // The buffer holds the largest record; a larger one cannot come from the encoder.
        if (count > sizeof m_job.m_recordBuffer - m_job.m_recordUsed) return 0;
        std::memcpy(m_job.m_recordBuffer + m_job.m_recordUsed, data, count);
        m_job.m_recordUsed += count;
        return 1;
    }
    int Flush() {
        DWORD done;
        DWORD used = std::exchange(m_job.m_recordUsed, 0);
        return used == 0 || m_job.WriteExact(m_job.m_recordBuffer, used, &done);
    }

  private:
    CDiskJob& m_job;
};

class JobSource final : public ByteSource {
  public:
    explicit JobSource(CDiskJob& job) : m_job(job) {}
    int Read(void* data, std::uint32_t count) override {
        auto* out = static_cast<std::uint8_t*>(data);
        while (count > 0) {
            DWORD ready = m_job.m_readAheadEnd - m_job.m_readAheadAt;
            if (ready == 0) {
                DWORD done = 0;
                m_job.m_readAheadAt = m_job.m_readAheadEnd = 0;
                if (!ReadFile(m_job.m_hImage.get(), m_job.m_readAhead, sizeof m_job.m_readAhead,
                              &done, nullptr) ||
                    done == 0)
                    return 0;
                m_job.m_readAheadEnd = done;
                continue;
            }
            DWORD take = ready < count ? ready : count;
            std::memcpy(out, m_job.m_readAhead + m_job.m_readAheadAt, take);
            m_job.m_readAheadAt += take;
            out += take;
            count -= take;
        }
        return 1;
    }

  private:
    CDiskJob& m_job;
};

// A plain overwrite refuses an image the process may not write. The replacement never opens
// the old file, so it asks first; folders, devices and the rest it refuses itself.
bool CheckWritable(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == platform::kErrorFileNotFound;
    // Windows adds attributes of its own (archive, indexing) to a read-only file's.
    if (!(attributes & FILE_ATTRIBUTE_READONLY) ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)))
        return true;
    SetLastError(platform::kErrorAccessDenied);
    return false;
}

}  // namespace

BOOL CDiskJob::OpenImage(const std::string& path, BOOL forRead, bool mayWriteInPlace) {
    m_readAheadAt = m_readAheadEnd = 0;
    m_recordUsed = 0;
    m_imageForWrite = !forRead;
    if (!forRead &&
        (!m_contentHash.Start(m_hashAlgorithms) || !m_imageHash.Start(m_hashAlgorithms))) {
        ReportDiskError("File Open Error");
        return FALSE;
    }
    bool opened;
    if (forRead) {
        m_hImage.reset(
            CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        opened = m_hImage.valid();
    } else {
        // A new image is written beside the old one and replaces it only when complete, so a
        // failed or cancelled compress never destroys an image it has not replaced.
        opened = CheckWritable(path) && m_newImage.Open(path, mayWriteInPlace);
        if (opened && m_newImage.InPlace()) SetStatus(kWritingInPlaceStatus);
    }
    if (!opened) {
        ReportDiskError("File Open Error");
        return FALSE;
    }
    return TRUE;
}

BOOL CDiskJob::CloseImage(BOOL commit) {
    if (!m_imageForWrite) {
        m_hImage.Close();
        return TRUE;
    }
    if (commit) {
        switch (m_newImage.Commit()) {
            case platform::ReplacementFile::Committed:
                return TRUE;
            case platform::ReplacementFile::CommittedNotDurable: {
                // The new image is in place; only its surviving a crash is in doubt.
                std::string text = std::string(kNotDurableText) +
                                   DiskErrorText(GetLastError(), m_driverLoaded) + " ";
                ShowError(text.c_str(), "Write Error", MB_ICONEXCLAMATION);
                return TRUE;
            }
            default:
                ReportDiskError("Write Error");
                break;
        }
    }
    m_newImage.Close();
    m_deleteImage = 1;
    return FALSE;
}

void CDiskJob::DeleteTemporaryImage() {
    m_newImage.Abandon();
}

BOOL CDiskJob::WriteImageHeader() {
    DWORD done;
    g_imageHeader.magic[0] = kImageMagic0;
    g_imageHeader.magic[1] = kImageMagic1;
    if (WriteExact(&g_imageHeader, sizeof g_imageHeader, &done)) return TRUE;
    ShowError("  Error writing file header information. ");
    return FALSE;
}

BOOL CDiskJob::ReadImageHeader(bool anyMedia) {
    DWORD done = 0;
    BOOL readOk = ReadExact(&g_imageHeader, sizeof g_imageHeader, &done);
    if (!readOk) {
        // The bytes that did arrive are in the header; the checks still look at it.
        ShowError("  Error reading file header information. ");
    }
    if (g_imageHeader.magic[0] != kImageMagic0 || g_imageHeader.magic[1] != kImageMagic1) {
        ShowError("  Invalid header info. ");
        return FALSE;
    }
    const int row = anyMedia ? MediaRowForCode(g_imageHeader.mediaCode) : -1;
    if (row >= 0) {
        m_mediaCode = MediaTypeTable[row].mediaCode;
        m_mediaIndex = row;
        m_trackBytes = MediaTypeTable[row].sectorsPerTrack * kSectorBytes;
    }
    if (g_imageHeader.mediaCode != static_cast<std::uint8_t>(m_mediaCode & 0xFF) ||
        (anyMedia && row < 0)) {
        ShowError("  Invalid media type. ");
        return FALSE;
    }
    if (g_imageHeader.compression > RunLength) {
        ShowError("  Invalid compression method. ");
        return FALSE;
    }
    return readOk;
}

BOOL CDiskJob::ReadExact(void* buffer, DWORD count, DWORD* bytesDone) {
    *bytesDone = 0;
    return ReadFile(m_hImage.get(), buffer, count, bytesDone, nullptr) && *bytesDone == count;
}

BOOL CDiskJob::WriteExact(const void* buffer, DWORD count, DWORD* bytesDone) {
    *bytesDone = 0;
    if (!WriteFile(m_newImage.Handle(), buffer, count, bytesDone, nullptr) || *bytesDone != count)
        return FALSE;
    m_imageHash.Update(buffer, count);
    return TRUE;
}

BOOL CDiskJob::WriteTrackRecord() {
    JobSink sink(*this);
    m_contentHash.Update(m_driveTrack.data, static_cast<std::size_t>(m_trackBytes));
    return EncodeTrackRecord(sink, g_imageHeader.compression, m_driveTrack, m_trackBytes,
                             m_packBuffer) &&
           sink.Flush();
}

BOOL CDiskJob::WriteTrackOut() {
    if (!m_rawImage) return WriteTrackRecord();
    m_contentHash.Update(m_driveTrack.data, static_cast<std::size_t>(m_trackBytes));
    DWORD done;
    return WriteExact(m_driveTrack.data, static_cast<DWORD>(m_trackBytes), &done);
}

BOOL CDiskJob::ReadTrackIn(int cylinder, int head) {
    if (!m_rawImage) return ReadTrackRecord();
    JobSource source(*this);
    m_fileTrack.cylinder = static_cast<std::uint8_t>(cylinder);
    m_fileTrack.head = static_cast<std::uint8_t>(head);
    return source.Read(m_fileTrack.data, static_cast<std::uint32_t>(m_trackBytes));
}

long long CDiskJob::ImageFileSize() {
    LONG high = 0;
    const DWORD low = SetFilePointer(m_hImage.get(), 0, &high, FILE_END);
    const long long size = (static_cast<long long>(high) << 32) | low;
    if ((low == INVALID_SET_FILE_POINTER && GetLastError() != 0) ||
        SetFilePointer(m_hImage.get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
        ShowError("  Error reading file. ", "Read Error");
        return -1;
    }
    return size;
}

BOOL CDiskJob::CheckRawImageSize() {
    const long long size = ImageFileSize();
    if (size < 0) return FALSE;
    if (size == m_format.bytes()) return TRUE;
    const std::string text =
        "  The raw image holds " + std::to_string(size) + " bytes, and the diskette in the drive " +
        std::to_string(m_format.bytes()) + ": " + DisketteText(m_format) + ". ";
    ShowError(text.c_str());
    return FALSE;
}

BOOL CDiskJob::ReadTrackRecord(int method) {
    JobSource source(*this);
    return DecodeTrackRecord(
        source, static_cast<std::uint8_t>(method < 0 ? g_imageHeader.compression : method),
        m_fileTrack, m_trackBytes, m_packBuffer);
}

int CDiskJob::PackTrack() {
    return ::PackTrack(m_driveTrack.data, m_trackBytes, m_packBuffer);
}
