// What a batch asks of the system beyond the drive's medium: the drive's maker, model, kind and
// serial number for the info files, and the end of the batch typed at the console.
#pragma once

#include <memory>
#include <string>

namespace cli {

struct DriveModel {
    std::string vendor, model;
    // In plain words: "floppy controller", "USB", "ATA", "SCSI", "virtio", "NVMe", "SD/MMC",
    // "block device", "loop device" (with its file: "loop device on /srv/box.img"), or "image
    // file" for a file standing in for a drive.
    std::string kind;
    std::string serial;
};

// The maker, model, kind and serial number of the drive at device, empty where the system does
// not say. Linux asks sysfs, then the UDisks2 service (only if it is running, for two seconds at
// most) for what sysfs lacks; Windows asks the storage driver. Any number of threads may call it
// at once, one per drive.
DriveModel DescribeDevice(const std::string& device);

// Linux: what sysfs under sysfsRoot says of the block device name ("sdb"), without UDisks2.
DriveModel DescribeSysfsDevice(const std::string& sysfsRoot, const std::string& name);

// The keys that end the batch at the console, as the prompt names them.
extern const char* const kEndOfInputKeys;

// Standard input as the end of the batch: the end typed at a terminal (Ctrl+D), the end of a
// pipe, or standard input that is neither (a file, the null device), which is at its end from
// the start. With terminalOnly (a batch given --count, which runs unattended) only the end
// typed at a terminal counts.
class BatchInput {
  public:
    explicit BatchInput(bool terminalOnly);
    ~BatchInput();
    BatchInput(const BatchInput&) = delete;
    BatchInput& operator=(const BatchInput&) = delete;

    bool Ended();
    // Waits ms, or less when something is typed.
    void Wait(int ms);

  private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace cli
