// The imaging job: one whole compress, expand or verify, from opening the drive to closing
// everything, on the worker thread. All track data lives in fixed buffers inside the object.
#pragma once

#include <cstdint>
#include <string>

#include "drive/disk_format.h"
#include "drive/drive_access.h"
#include "engine/fixity.h"
#include "engine/image_format.h"
#include "engine/job_ids.h"
#include "engine/sector_map.h"
#include "engine/track_codec.h"
#include "engine/worker_thread.h"
#include "platform/replace_file.h"

class CDiskJob : public CWorkerThread {
  public:
    explicit CDiskJob(Window* owner);
    ~CDiskJob() override;

    int RunJob() override;
    int NotifyDone() override;

    static WORD DriveIndexFromLetter(char letter) { return static_cast<WORD>(letter - 'A'); }

    // Inputs, written by the owner only while no job runs.
    std::string m_driveLetter;
    std::string m_imagePath;
    int m_compress = 0;
    int m_operation = 0;
    // The image file is the diskette's sectors in order, with no header: it takes a diskette of
    // any format. Otherwise it is a .tvl, which holds only the image table's formats.
    BOOL m_rawImage = 0;
    // Where the image goes instead, raw, when it is a .tvl and the diskette turns out to be of a
    // format a .tvl cannot hold ("" to refuse such a diskette); m_imagePath becomes it.
    std::string m_rawPathIfForeign;

    // Rescue inputs: the extra reads of a side or sector that failed, and the byte that stands
    // in for an unreadable sector (-1: the marker text). A resume patches m_imagePath, reading
    // only the sectors m_sectorMap does not mark finished.
    int m_rescueRetries = 3;
    int m_rescueFill = -1;
    BOOL m_rescueResume = 0;
    // Rescue, in and out: the state of every sector. A fresh rescue starts it itself.
    SectorMap m_sectorMap;
    // Rescue: where its map goes at every checkpoint; none for a rescue without a map.
    RescueMapKeeper* m_rescueKeeper = nullptr;
    // Compress and rescue: the fixity hashes to keep (FixityAlgorithm bits; none by default).
    unsigned m_hashAlgorithms = 0;

    // What the owner may read after ID_JOB_DONE.
    JobResult m_result = JobNotRun;
    // Where verify found the first difference: the track side, and the index of the byte in
    // the compared record (0 cylinder byte, 1 head byte, 2 + i data byte i).
    int m_diffCylinder = -1;
    int m_diffHead = -1;
    int m_diffByte = -1;
    // Rescue: whether a checkpoint replaced m_imagePath (a cancelled or failed rescue keeps
    // what it read up to its last checkpoint), and, also while it runs, the read round of the
    // side (0 first read, then the retries), the sectors read from the drive by this run, and
    // the read requests issued.
    BOOL m_rescueWritten = 0;
    int m_rescueRound = 0;
    int m_rescueRecovered = 0;
    long m_rescueReads = 0;
    // Compress and rescue: the hashes of the diskette's content (its sectors in order, an
    // unreadable one as filled) and of the image file, fed as the image is written and started
    // afresh with each writing of it, so after the job they describe the image it left. The
    // owner finishes them.
    FixityHash m_contentHash;
    FixityHash m_imageHash;

    // What the job recognised in the drive (also when it then refused the diskette): its layout
    // and where that was learnt.
    DiskFormat m_format;

    // Media detection and track addressing.
    BOOL DetectMedia();
    // Learns m_format from the boot sector (when bootRead), else sector 1's FAT ID, else the
    // drive's own geometry; false when none names a format.
    BOOL IdentifyFormat(bool bootRead);
    // Makes m_format the job's: track size, table row, and the floppy driver told the layout.
    BOOL UseFormat();
    // A .tvl job on a diskette outside the table goes raw where the owner allowed it.
    void GoRawIfForeign();
    BOOL ReadTrack(int cylinder, int head);
    BOOL WriteTrack(int cylinder, int head);

    // The image file.
    BOOL OpenImage(const std::string& path, BOOL forRead, bool mayWriteInPlace = true);
    // With anyMedia (a rescue's resume without a boot sector) the header's format becomes the
    // job's instead of being checked against it.
    BOOL ReadImageHeader(bool anyMedia = false);
    // Writes the header record that g_imageHeader holds, with its magic; shows a failure.
    BOOL WriteImageHeader();
    BOOL ReadExact(void* buffer, DWORD count, DWORD* bytesDone);
    BOOL WriteExact(const void* buffer, DWORD count, DWORD* bytesDone);
    BOOL WriteTrackRecord();
    // The track side in m_driveTrack to the image, or the next one from it into m_fileTrack,
    // as a record or, for a raw image, as its bare sectors.
    BOOL WriteTrackOut();
    BOOL ReadTrackIn(int cylinder, int head);
    // A raw image to be read must be exactly the diskette's size; shows why not.
    BOOL CheckRawImageSize();
    // The open image's size, read from its start again; -1 after showing why it is not known.
    long long ImageFileSize();
    // Decodes the next record into m_fileTrack, under the header's method unless one is given.
    BOOL ReadTrackRecord(int method = -1);
    int PackTrack();
    // Closes the image. A compress's new image replaces m_imagePath only when commit is set
    // and it reached the disk; otherwise its temporary file is marked for deletion.
    BOOL CloseImage(BOOL commit);
    // Whether the last compress wrote over the old image in place (see ReplacementFile).
    bool WroteInPlace() const { return m_newImage.InPlace(); }

    // The passes.
    int CompressPass();
    int ExpandPass();
    int VerifyPass();
    // A rescue keeps the whole diskette in m_rescueDisk and replaces image and map with it at
    // every checkpoint, so a crash or a kill loses only what was read since the last one.
    void RunRescue();
    BOOL RescueMedia(bool* cancelled);
    BOOL LoadRescueImage();
    BOOL RescueSide(int cylinder, int head, bool* cancelled);
    BOOL ReadWithRetries(int cylinder, int head, int first, int count, std::uint8_t* buffer,
                         bool* cancelled);
    BOOL RescueCheckpoint(RescueMapKeeper::Moment moment, bool mapFirst);
    // The checkpoint's image is written: the map (first, when mapFirst) and the image take
    // their places.
    BOOL RescueCommit(RescueMapKeeper::Moment moment, bool mapFirst);
    // A resume's raw image, read whole into m_rescueDisk.
    BOOL LoadRawRescueImage();

    // Drive access, through the back-end the flags select.
    BOOL ReadSectors(WORD driveIndex, WORD head, WORD cylinder, WORD count, void* buffer,
                     DWORD capacity);
    BOOL WriteSectors(WORD driveIndex, WORD head, WORD cylinder, WORD count, void* buffer,
                      DWORD capacity);
    BOOL ReadBootSector(WORD driveIndex);
    BOOL LockVolume(WORD driveIndex, BYTE lockLevel, WORD permissions, BOOL extended);
    BOOL UnlockVolume(WORD driveIndex, BOOL extended);
    BOOL ProbeExtendedAccess(WORD driveIndex);
    BOOL ReleaseDriver(WORD driveIndex);
    void ReportDiskError(const char* caption);

    // Handles, each opened and closed by RunJob within one job.
    UniqueHandle m_hVwin32;
    UniqueHandle m_hDriver;
    UniqueHandle m_hVolume;
    UniqueHandle m_hImage;

    TrackBuffer m_driveTrack;
    TrackBuffer m_fileTrack;
    std::uint8_t m_packBuffer[kPackBufferBytes];
    std::uint8_t m_bootSector[512];
    std::uint8_t m_sectorBuffer[512];
    std::uint8_t m_fillSector[512];  // what a rescue puts in place of an unreadable sector
    // A rescue's diskette as far as it is known: what was read, else the older image's bytes
    // on a resume, else the fill. Untouched by the other operations.
    std::uint8_t m_rescueDisk[kMaxDiskSectors * kSectorBytes];
    // One record is gathered here and written with a single call; the image file is read
    // ahead into m_readAhead, since it is only ever read from front to back.
    std::uint8_t m_recordBuffer[5 + MaxPackedLength(kMaxTrackBytes)];
    DWORD m_recordUsed = 0;
    std::uint8_t m_readAhead[65536];
    DWORD m_readAheadAt = 0;
    DWORD m_readAheadEnd = 0;

    // The owner thread's header record (see g_imageHeader).
    ImageHeader* m_headerRecord = nullptr;

    WORD m_driveIndex = 0xFFFF;
    BOOL m_useExtendedAccess = 0;
    BOOL m_driverLoaded = 0;
    BOOL m_isNT = 0;
    BOOL m_deleteImage = 0;
    int m_mediaIndex = 0;
    int m_mediaCode = 0;
    int m_trackBytes = 0;
    // Whether UseFormat told the floppy driver a layout it must forget again.
    bool m_layoutSet = false;

  private:
    void RunNt();
    void RunWin95();
    void RunOperation();
    DriveContext Drive() const;
    void ShowError(const char* text, const char* caption = "Tavrel", UINT icon = 0x10);
    void SetStatus(const char* text);
    void DeleteTemporaryImage();

    // A compress writes here; it replaces m_imagePath only when complete.
    platform::ReplacementFile m_newImage;
    BOOL m_imageForWrite = 0;

    // Rescue: the image's method, whether m_bootSector holds the diskette's sector 0, whether
    // a read failed on the current side, the map of the last checkpoint and its time.
    int m_rescueMethod = 0;
    bool m_rescueBootRead = false;
    bool m_rescueReadFailed = false;
    bool m_rescueDurabilityShown = false;
    SectorMap m_checkpointMap;
    std::int64_t m_checkpointTime = 0;
};
