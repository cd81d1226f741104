// A file that is written beside the one it replaces and takes its place only when complete:
// whatever happens before Commit, the older file stays as it was.
//
// The new file gets a short hidden name in the target's folder (so any valid target name
// works) and is locked while it is written, so that leftovers of killed writers can be told
// from files still being written, on this host or another sharing the folder. A target that is
// a symbolic link is followed: the file it points to is replaced and the link stays. The
// replacement takes the mode, owner and group of the file it replaces where the process may
// set them; a new file gets the usual mode from the umask.
//
// One fallback: a writable target in a folder that takes no new files is written in place, as
// a plain overwrite would. Only then can an interrupted write destroy the older file.
#pragma once

#include <string>

#include "platform/handle.h"

namespace platform {

class ReplacementFile {
  public:
    enum CommitResult {
        CommitFailed = 0,
        Committed = 1,
        // The new file is in the target's place, but the folder could not be flushed: the
        // rename may not survive a crash. The last-error value says why.
        CommittedNotDurable = 2,
    };

    ReplacementFile() = default;
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Starts the replacement of target, removing leftovers of killed writers in its folder.
    // FALSE with the reason in the thread's last-error value. Without mayWriteInPlace a folder
    // that takes no new file is a failure: for a writer that still reads the target.
    BOOL Open(const std::string& target, bool mayWriteInPlace = true);
    // Where to write; a file handle for WriteFile.
    HANDLE Handle() const { return m_file.get(); }
    // Writing goes straight into the target (its folder takes no new files).
    bool InPlace() const { return m_inPlace; }
    // The file that is replaced: the target with its links followed.
    const std::string& Target() const { return m_target; }
    // The file being written: a hidden name beside Target(), or Target() itself in place.
    const std::string& Path() const { return m_temp.empty() ? m_target : m_temp; }

    // Makes the new file durable, gives it the old file's attributes and renames it over the
    // target, then makes the rename durable. Anything but Committed sets the last-error value;
    // after CommitFailed the new file is gone and the target is as it was.
    int Commit();
    // Closes the new file but keeps it until Abandon.
    BOOL Close();
    // Closes and removes the new file; the target stays as it was (in place: as it is now).
    void Abandon();

  private:
    BOOL OpenInPlace();

    std::string m_target;
    std::string m_temp;
    UniqueHandle m_file;
    int m_fd = -1;  // the descriptor behind m_file, for its attributes
    bool m_inPlace = false;
};

// The file a path names once its symbolic links are followed; the path itself when it names
// nothing yet. "" with ELOOP or the failing call's code in the last-error value.
std::string ResolveLinks(const std::string& path);

// The folder a path lies in, "." for a bare name.
std::string FolderOf(const std::string& path);

}  // namespace platform
