// Kernel objects behind HANDLE values, CloseHandle, and UniqueHandle, the one owner of a handle.
#pragma once

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

#include "platform/unique_handle.h"

namespace platform {
// Kernel objects alive in this process; tests compare it before and after a job.
int LiveHandleCount();
}  // namespace platform
