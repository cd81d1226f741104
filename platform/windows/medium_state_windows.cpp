// Whether a drive holds a diskette, asked of the drive's storage driver without reading the
// diskette; an image file standing in for a drive is present while it has content, and its
// identity tells one file from the next.
#include <cstddef>
#include <string>

#include "platform/file_api.h"
#include "platform/handle.h"
#include "platform/medium_state.h"
#include "platform/win_types.h"

namespace platform {
namespace {

bool Unsupported(DWORD error) {
    return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED ||
           error == ERROR_INVALID_PARAMETER;
}

// A file's volume serial number, file index, size and last write: a new file, or one written
// again, is another diskette.
void AsFile(HANDLE handle, MediumState* medium) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) return;
    const unsigned long long size =
        (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    medium->present = !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && size > 0;
    medium->identity = std::to_string(info.dwVolumeSerialNumber) + ":" +
                       std::to_string(info.nFileIndexHigh) + "." +
                       std::to_string(info.nFileIndexLow) + ":" + std::to_string(size) + ":" +
                       std::to_string(info.ftLastWriteTime.dwHighDateTime) + "." +
                       std::to_string(info.ftLastWriteTime.dwLowDateTime);
}

// Asks the storage driver; false when it has no such request (a file, under Wine a drive
// letter linked to an image). The media change count, where the driver gives it, tells a
// diskette swapped between two looks.
bool CheckVerify(HANDLE handle, DWORD request, MediumState* medium) {
    ULONG changes = 0;
    DWORD returned = 0;
    if (DeviceIoControl(handle, request, nullptr, 0, &changes, sizeof changes, &returned,
                        nullptr)) {
        medium->present = true;
        if (returned >= sizeof changes) medium->identity = "changes " + std::to_string(changes);
        return true;
    }
    const DWORD error = GetLastError();
    if (Unsupported(error)) return false;
    // ERROR_MEDIA_CHANGED: a diskette is in, another than at the last look.
    medium->changed = error == ERROR_MEDIA_CHANGED;
    medium->present = medium->changed;
    return true;
}

// Whether the drive hangs on the legacy floppy controller, whose driver starts the motor for
// each check-verify request: it is looked at as seldom as the floppy driver's drive on Linux.
// The storage stack names the bus of every drive it serves (USB, ATAPI, SCSI); the legacy
// floppy driver is no part of it and names none. A drive that names no bus is taken for one,
// since a USB drive looked at seldom still tells a swap by its media change count.
bool OnLegacyController(HANDLE handle) {
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    STORAGE_DEVICE_DESCRIPTOR descriptor{};
    DWORD returned = 0;
    if (!DeviceIoControl(handle, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, &descriptor,
                         sizeof descriptor, &returned, nullptr))
        return true;
    const DWORD named = offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) + sizeof descriptor.BusType;
    return returned < named || descriptor.BusType == BusTypeUnknown;
}

}  // namespace

MediumState PollMedium(const std::string& path) {
    MediumState medium;
    // An empty drive must not make the system ask the user to insert a diskette.
    DWORD oldMode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS, &oldMode);
    // No access asked: the driver answers without spinning the diskette up to open the drive.
    UniqueHandle probe(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    bool drive = probe.valid() && CheckVerify(probe.get(), IOCTL_STORAGE_CHECK_VERIFY2, &medium);
    if (probe.valid() && !drive) {
        // The floppy driver knows only the older request, which wants read access.
        UniqueHandle reader(CreateFileA(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        drive = reader.valid() && CheckVerify(reader.get(), IOCTL_STORAGE_CHECK_VERIFY, &medium);
        if (!drive) AsFile(probe.get(), &medium);
    }
    if (drive && OnLegacyController(probe.get())) medium.pollMs = kFloppyPollMs;
    SetThreadErrorMode(oldMode, nullptr);
    return medium;
}

}  // namespace platform
