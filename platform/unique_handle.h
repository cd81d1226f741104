// UniqueHandle, the one owner of a handle, on every system. Included by platform/handle.h,
// which declares CloseHandle for it.
#pragma once

#include <utility>

#include "platform/win_types.h"

inline bool IsValidHandle(HANDLE h) {
    return h != nullptr && h != INVALID_HANDLE_VALUE;
}

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
