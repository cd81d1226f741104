#include "drive/disk_errors.h"

#include "platform/drive_volume.h"
#include "platform/error_codes.h"
#include "platform/format_message.h"
#include "platform/last_error.h"
#include "platform/last_error_note.h"
#include "platform/window.h"

const char* const g_driverStatusText[kDriverStatusCount] = {
    "",
    "Successful, but retries required",
    "Successful, but retries required with ECC",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "General failure",
    "Error allocating buffer space for I/O",
    "",
    "",
    "Requests on an invalid sector",
    "Command was canceled",
    "Command is in progress, and can't be canceled",
    "Cancel of an invalid command",
    "media failure",
    "Error on recalib. drive, etc.",
    "Command not supported or invalid",
    "Physical or logical device nonexistant",
    "Media removed from device",
    "Media may have changed",
    "Un-recoverable error",
    "General hardware failure",
    "Unformatted media",
    "Error allocating DMA buffer space for I/O",
    "Device timed out",
    "Write protect error",
    "Device not ready",
    "Device is busy",
    "Volume received unlock without lk",
    "Eject received with drive locked",
    "Removable request to non-removable drive",
    "Volume is in use - used for eject",
    "Volume lock count exceeded",
    "Eject command was not accepted",
    "Cdrom read on audio or attempt play on data",
    "Illegal access to locked device",
    "Wrong media in drive",
    "No space on media",
    "Attempt to split big I/O barfed",
};

const char* const g_dosDiskErrorText[kDosDiskErrorCount] = {
    "Write-protect error",   "Unknown unit",          "Drive not ready.",
    "Unknown command.",      "Data error (Bad CRC).", "Bad request structure length.",
    "Seek error.",           "Unknown media type.",   "Sector not found.",
    "Printer out of paper.", "Write fault.",          "Read fault.",
    "General failure.",      "The drive is locked.",
};

std::string DiskErrorText(DWORD code, BOOL driverLoaded) {
    if ((code & ~0xFFu) == kVolumeInUseCode) {
        const std::string drive = {static_cast<char>('A' + (code & 0xFF) % 26), ':'};
        return "The drive is in use: close any window or program that uses " + drive +
               ", such as Explorer or a command prompt at " + drive + "\\, and try again.";
    }
    if (code & DISK_ERROR_FLAG) {
        if (driverLoaded) {
            DWORD index = code & ~DISK_ERROR_FLAG;
            return g_driverStatusText[index < kDriverStatusCount ? index : 12];
        }
        DWORD index = code & 0xFF;
        return g_dosDiskErrorText[index < kDosDiskErrorCount ? index : 12];
    }
    std::string text;
    if (platform::SystemErrorText(code, &text)) {
        const std::string note = platform::LastErrorNote(code);
        return note.empty() ? text : text + " " + note;
    }
    // The system has no text for this code.
    return "Unknown error " + std::to_string(code) + ".";
}

void ReportDiskError(Window* owner, const char* caption, BOOL driverLoaded) {
    DWORD code = GetLastError();
    std::string text = DiskErrorText(code, driverLoaded);
    platform::ShowMessageBox(owner, text.c_str(), caption, MB_OK | MB_ICONERROR);
}

void ReportDriveOpenError(Window* owner, bool writing) {
    const DWORD code = GetLastError();
    if (platform::DriveMissing(code)) {
        platform::ShowMessageBox(owner, "  Cannot find the drive specified. ", "Tavrel",
                                 MB_OK | MB_ICONERROR);
        return;
    }
    std::string text = DiskErrorText(code, FALSE);
    const std::string hint =
        code == platform::kErrorAccessDenied ? platform::DriveAccessHint(writing) : "";
    if (!hint.empty()) text += " " + hint;
    platform::ShowMessageBox(owner, text.c_str(), "Drive Error", MB_OK | MB_ICONERROR);
}
