// A file whose lock says that a process is at work on something: the lock is the system's, so
// it goes with its holder however the holder ends (a kill, a crash, a power cut), and a lock
// that can be taken means nobody is at work there any more. One class, one unit per system:
// lock_file.cpp on Linux (flock), windows/lock_file_windows.cpp on Windows (LockFileEx).
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace platform {

class LockFile {
  public:
    enum OpenMode {
        OpenOrCreate,  // read and write, made when missing
        CreateNew,     // read and write, and it must not exist yet: fails with EEXIST
        Existing,      // read only, so a folder that takes no writes can still be locked
    };

    LockFile() = default;
    ~LockFile() { Close(); }
    LockFile(LockFile&& other) noexcept : m_handle(other.m_handle) { other.m_handle = kNone; }
    LockFile& operator=(LockFile&& other) noexcept {
        if (this != &other) {
            Close();
            m_handle = other.m_handle;
            m_path = std::move(other.m_path);
            other.m_handle = kNone;
        }
        return *this;
    }
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;

    // False with errno set.
    bool Open(const std::string& path, OpenMode mode);
    // exclusive, or shared with other readers; wait for it, or fail at once with EWOULDBLOCK
    // while another holds it.
    bool Lock(bool exclusive, bool wait);
    void Unlock();
    bool IsOpen() const { return m_handle != kNone; }
    // Lets the lock go with the file.
    void Close();

  private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t m_handle = kNone;  // a descriptor, or a HANDLE
    std::string m_path;
};

}  // namespace platform
