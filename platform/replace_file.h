// A file that is written beside the one it replaces and takes its place only when complete:
// whatever happens before Commit, the older file stays as it was. One class, one unit per
// system: replace_file.cpp on Linux, windows/replace_file_windows.cpp on Windows.
//
// Linux. The new file is made without a name (O_TMPFILE) in the target's folder, so a killed
// writer leaves nothing behind; at Commit it is linked under a short random hidden name and
// renamed over the target. Where the file system makes no nameless files (NFS, FAT and others
// that refuse O_TMPFILE) it is created under that hidden name at once and locked while it is
// written, so that leftovers of killed writers can be told from files still being written.
// The lock is an open file's write lock (F_OFD_SETLK): NFS carries it to the server, where
// every client sees it (unless the mount keeps locks local: nolock, local_lock), and a cleaner
// in the same process cannot take it over as it could a process's lock.
//
// A target that is a symbolic link is followed: the file it points to is replaced and the link
// stays. In a folder that everyone may write to and only owners may delete from (sticky, like
// /tmp), a link is followed only when it belongs to the process's user or to the folder's
// owner, at every step of the path and whatever fs.protected_symlinks says: anyone could have
// put it there. Once resolved, the folder is held open and the file named relative to it, so
// links put in place later are never followed.
//
// The replacement takes the mode, owner and group of the file it replaces, each where the
// process may set it (a user who may not keep the owner may still keep a group of theirs),
// before it is flushed; a new file gets the usual mode from the umask.
//
// One fallback: a writable target in a folder that takes no new files is written in place, as
// a plain overwrite would. Only then can an interrupted write destroy the older file.
//
// Windows. The new file is made under a hidden name beside the target, opened for no one else,
// so leftovers of killed writers can be told from files still being written (those cannot be
// deleted). At Commit it takes the old file's hidden, system and not-indexed marks and its
// creation time, is flushed and is swapped in with ReplaceFileW, which also keeps the old
// file's security, short name and streams; that swap is not written through, so the file is
// flushed again under the target's name. A read-only target is replaced and stays read-only, as
// a rename keeps a mode. A new target is made with MoveFileExW, written through. Links are the
// system's business: the target is the path. Nothing is written in place.
#pragma once

#include <string>

#include "platform/handle.h"

namespace platform {

class ReplacementFile {
  public:
    enum CommitResult {
        CommitFailed = 0,
        Committed = 1,
        // The new file is in the target's place, but the folder (on Windows: the file under
        // its new name, with a read-only target's mark) could not be flushed: the rename may
        // not survive a crash. The last-error value says why.
        CommittedNotDurable = 2,
    };

    ReplacementFile() = default;
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Starts the replacement of target, removing leftovers of killed writers in its folder.
    // FALSE with the reason in the thread's last-error value. Without mayWriteInPlace a folder
    // that takes no new file is a failure: for a writer that still reads the target. Windows
    // never writes in place.
    BOOL Open(const std::string& target, bool mayWriteInPlace = true);
    // Where to write; a file handle for WriteFile.
    HANDLE Handle() const { return m_file.get(); }
    // Writing goes straight into the target (its folder takes no new files).
    bool InPlace() const { return m_inPlace; }
    // The file that is replaced: the target with its links followed.
    const std::string& Target() const { return m_target; }
    // The file being written: a hidden name beside Target(), Target() itself in place, or ""
    // while the new file has no name.
    const std::string& Path() const { return m_inPlace ? m_target : m_temp; }

    // Gives the new file the old file's attributes, makes it durable and renames it over the
    // target, then makes the rename durable. Anything but Committed sets the last-error value;
    // after CommitFailed the new file is gone and the target is as it was (on Windows, should
    // ReplaceFileW fail after removing the target, the new file stays under its hidden name).
    int Commit();
    // Closes the new file; one with a name is kept until Abandon, a nameless one is gone.
    BOOL Close();
    // Closes and removes the new file; the target stays as it was (in place: as it is now).
    void Abandon();

  private:
    BOOL OpenNamed(bool replacing, bool mayWriteInPlace);
    BOOL OpenInPlace();
    void RemoveLeftovers();
    bool CopyAttributes();
    bool PutInPlace();
    void CloseFolder();

    // Linux uses them all; Windows only m_target, m_temp and m_file.
    std::string m_target;
    std::string m_folderPath;  // the target's folder, as the hook and messages see it
    std::string m_name;        // the target's name in m_folder
    std::string m_temp;        // the new file's hidden name as a path; "" while it has none
    std::string m_tempName;    // the same name in m_folder
    UniqueHandle m_file;
    int m_fd = -1;      // the descriptor behind m_file, for its attributes
    int m_folder = -1;  // the target's folder, which every name is looked up in
    bool m_inPlace = false;
};

// The file a path names once its symbolic links are followed (the path itself when it names
// nothing yet, and always on Windows, which follows its own links), under the link rule above. ""
// with ELOOP, EACCES for a link the rule refuses (its path then in *refusedLink) or the failing
// call's code in the last-error value.
std::string ResolveLinks(const std::string& path, std::string* refusedLink = nullptr);

// The folder a path lies in, "." for a bare name ("C:" for "C:name" on Windows).
std::string FolderOf(const std::string& path);

// Where a path leads, links and folders resolved, whether or not the file exists yet.
std::string Whereabouts(const std::string& path);

}  // namespace platform
