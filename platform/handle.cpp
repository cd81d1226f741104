#include "platform/handle.h"

#include <atomic>
#include <cerrno>

#include "platform/last_error.h"

namespace {
std::atomic<int> g_liveObjects{0};
}

KernelObject::KernelObject() {
    ++g_liveObjects;
}
KernelObject::~KernelObject() {
    --g_liveObjects;
}

DWORD KernelObject::Wait(DWORD) {
    SetLastError(EINVAL);
    return WAIT_FAILED;
}

BOOL KernelObject::Ioctl(DWORD, void*, DWORD, void*, DWORD, DWORD*) {
    SetLastError(ENOTTY);
    return FALSE;
}

BOOL CloseHandle(HANDLE handle) {
    if (!IsValidHandle(handle)) {
        SetLastError(EBADF);
        return FALSE;
    }
    BOOL ok = handle->Close();
    delete handle;
    return ok;
}

namespace platform {
int LiveHandleCount() {
    return g_liveObjects.load();
}
}  // namespace platform
