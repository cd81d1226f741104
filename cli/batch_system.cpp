#include "cli/batch_system.h"

#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>

#include "platform/syscalls.h"
#include "platform/sysfs_block.h"
#include "platform/udisks.h"

namespace cli {
namespace {

std::string KindOfBus(const std::string& bus) {
    if (bus == "floppy") return "floppy controller";
    if (bus == "usb") return "USB";
    if (bus == "ata") return "ATA";
    if (bus == "scsi") return "SCSI";
    if (bus == "virtio") return "virtio";
    if (bus == "nvme") return "NVMe";
    if (bus == "mmc" || bus == "sdio") return "SD/MMC";
    if (bus == "ieee1394") return "FireWire";
    return "block device";
}

}  // namespace

DriveModel DescribeSysfsDevice(const std::string& sysfsRoot, const std::string& name) {
    DriveModel drive;
    const platform::BlockDeviceIdentity identity = platform::IdentifyBlockDevice(sysfsRoot, name);
    drive.vendor = identity.vendor;
    drive.model = identity.model;
    drive.serial = identity.serial;
    if (identity.bus == "loop")
        drive.kind =
            identity.backingFile.empty() ? "loop device" : "loop device on " + identity.backingFile;
    else
        drive.kind = KindOfBus(identity.bus);
    return drive;
}

DriveModel DescribeDevice(const std::string& device) {
    DriveModel drive;
    struct stat st {};
    if (platform::SysStat(device.c_str(), &st) != 0) return drive;
    if (S_ISREG(st.st_mode)) {
        drive.kind = "image file";
        return drive;
    }
    if (!S_ISBLK(st.st_mode)) return drive;
    // By its numbers, so a link (/dev/disk/by-id/...) names the device it leads to.
    std::string name = platform::BlockDeviceName("/sys", major(st.st_rdev), minor(st.st_rdev));
    if (name.empty() && device.rfind("/dev/", 0) == 0) name = device.substr(5);
    drive = DescribeSysfsDevice("/sys", name);
    // A floppy controller's drive and a loop device have no drive object in UDisks2.
    if (!drive.serial.empty() || drive.kind == "floppy controller" ||
        drive.kind.rfind("loop device", 0) == 0)
        return drive;
    platform::UdisksDrive known;
    if (!platform::UdisksDescribeDrive("/dev/" + name, &known)) return drive;
    if (drive.vendor.empty()) drive.vendor = known.vendor;
    if (drive.model.empty()) drive.model = known.model;
    drive.serial = known.serial;
    if (drive.kind == "block device" && !known.bus.empty()) drive.kind = KindOfBus(known.bus);
    return drive;
}

const char* const kEndOfInputKeys = "Ctrl+D";

struct BatchInput::State {
    bool terminalOnly = false;
    // Several drives' threads wait on the input at once; one of them reads it.
    std::atomic<bool> ended{false};
};

BatchInput::BatchInput(bool terminalOnly) : m_state(std::make_unique<State>()) {
    m_state->terminalOnly = terminalOnly;
}
BatchInput::~BatchInput() = default;

namespace {

// A process in the background of its terminal is stopped (SIGTTIN) when it reads from it: the
// terminal is read only while the batch is in the foreground.
bool ForegroundTerminal() {
    const pid_t foreground = platform::SysTcgetpgrp(0);
    return foreground >= 0 && foreground == getpgrp();
}

}  // namespace

bool BatchInput::Ended() {
    if (m_state->ended) return true;
    struct stat st {};
    const bool terminal = isatty(0) != 0;
    if (fstat(0, &st) != 0) return false;
    if (!terminal && !S_ISFIFO(st.st_mode) && !S_ISSOCK(st.st_mode)) {
        // A file or the null device: nothing will ever be typed.
        m_state->ended = !m_state->terminalOnly;
        return m_state->ended;
    }
    if (!terminal && m_state->terminalOnly) return false;
    if (terminal && !ForegroundTerminal()) return false;
    pollfd in{0, POLLIN, 0};
    if (poll(&in, 1, 0) <= 0) return false;
    char buffer[256];
    m_state->ended = read(0, buffer, sizeof buffer) == 0;
    return m_state->ended;
}

void BatchInput::Wait(int ms) {
    struct stat st {};
    const bool terminal = isatty(0) != 0;
    const bool pipe = fstat(0, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
    const bool watched = !m_state->ended && ((terminal && ForegroundTerminal()) ||
                                             (pipe && !terminal && !m_state->terminalOnly));
    pollfd in{0, POLLIN, 0};
    poll(watched ? &in : nullptr, watched ? 1 : 0, ms);
}

}  // namespace cli
