// A file that is written beside the one it replaces and takes its place only when complete:
// whatever happens before Commit, the older file stays as it was.
//
// The new file is made under a hidden name in the target's folder, opened for no one else, so
// leftovers of killed writers can be told from files still being written (those cannot be
// deleted). Commit flushes it and moves it over the target with MoveFileExW, the move written
// through before the call returns. Links are the system's business: the target is the path.
#pragma once

#include <string>

#include "platform/handle.h"

namespace platform {

class ReplacementFile {
  public:
    enum CommitResult {
        CommitFailed = 0,
        Committed = 1,
        // Never on Windows: the move is written through or fails.
        CommittedNotDurable = 2,
    };

    ReplacementFile() = default;
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Starts the replacement of target, removing leftovers of killed writers in its folder.
    // FALSE with the reason in the thread's last-error value. Nothing is ever written in place.
    BOOL Open(const std::string& target, bool mayWriteInPlace = true);
    HANDLE Handle() const { return m_file.get(); }
    bool InPlace() const { return false; }
    const std::string& Target() const { return m_target; }
    const std::string& Path() const { return m_temp; }

    int Commit();
    BOOL Close();
    void Abandon();

  private:
    void RemoveLeftovers();

    std::string m_target;
    std::string m_temp;
    UniqueHandle m_file;
};

// A path as it is: Windows follows its own links.
std::string ResolveLinks(const std::string& path, std::string* refusedLink = nullptr);

// The folder part of a path, "." when it has none.
std::string FolderOf(const std::string& path);

// The full path a path names, whether or not the file exists yet.
std::string Whereabouts(const std::string& path);

}  // namespace platform
