// Kernel objects behind HANDLE values, CloseHandle, and UniqueHandle, the one owner of a handle.
#pragma once

#include <utility>

#include "platform/win_types.h"

struct KernelObject {
    KernelObject();
    virtual ~KernelObject();
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;

    // Releases what the object holds; false with the last-error value set when that failed.
    virtual BOOL Close() { return TRUE; }
    // WaitForSingleObject on this object.
    virtual DWORD Wait(DWORD milliseconds);
    // DeviceIoControl on this object; objects that are no device refuse every code.
    virtual BOOL Ioctl(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                       DWORD* bytesReturned);
};

BOOL CloseHandle(HANDLE handle);

inline bool IsValidHandle(HANDLE h) {
    return h != nullptr && h != INVALID_HANDLE_VALUE;
}

namespace platform {
// Kernel objects alive in this process; tests compare it before and after a job.
int LiveHandleCount();
}  // namespace platform

// Owns one handle: closes it on Close(), on reset() and when it goes out of scope.
class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE h) : m_h(h) {}
    ~UniqueHandle() { Close(); }
    UniqueHandle(UniqueHandle&& other) noexcept : m_h(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    HANDLE get() const { return m_h; }
    bool valid() const { return IsValidHandle(m_h); }
    HANDLE release() { return std::exchange(m_h, INVALID_HANDLE_VALUE); }
    void reset(HANDLE h = INVALID_HANDLE_VALUE) {
        Close();
        m_h = h;
    }
    // Closes the handle if one is held; returns CloseHandle's result (TRUE when none was held).
    BOOL Close() {
        if (!valid()) {
            m_h = INVALID_HANDLE_VALUE;
            return TRUE;
        }
        return CloseHandle(std::exchange(m_h, INVALID_HANDLE_VALUE));
    }

  private:
    HANDLE m_h = INVALID_HANDLE_VALUE;
};
