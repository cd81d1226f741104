#include "platform/udisks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/polkit_agent.h"
#include "platform/syscalls.h"

namespace platform {
namespace {

constexpr const char* kService = "org.freedesktop.UDisks2";
constexpr const char* kManagerPath = "/org/freedesktop/UDisks2/Manager";
constexpr const char* kManager = "org.freedesktop.UDisks2.Manager";
constexpr const char* kBlock = "org.freedesktop.UDisks2.Block";
constexpr const char* kDrive = "org.freedesktop.UDisks2.Drive";
constexpr const char* kPartition = "org.freedesktop.UDisks2.Partition";
constexpr const char* kLoop = "org.freedesktop.UDisks2.Loop";
constexpr const char* kRootPath = "/org/freedesktop/UDisks2";

// A person answering polkit's question gets minutes; a service that does not answer a
// script's call gets seconds.
constexpr uint64_t kInteractiveTimeoutUsec = 300ull * 1000 * 1000;
constexpr uint64_t kTimeoutUsec = 15ull * 1000 * 1000;
// A description for a record is not worth holding up the diskette it goes with.
constexpr uint64_t kDescribeTimeoutUsec = 2ull * 1000 * 1000;

std::atomic<int> g_interactive{-1};  // -1: when standard input is a terminal
std::mutex g_refusalMutex;
std::string g_refusal;  // the job's thread sets it, the front end reads it after

void SetRefusal(std::string text) {
    std::lock_guard<std::mutex> lock(g_refusalMutex);
    g_refusal = std::move(text);
}

// A terminal's user can answer only while this process has the terminal's foreground: a job
// started with "&" keeps the terminal as its input, but the agent asking there would be
// stopped by the terminal (SIGTTOU, SIGTTIN) and the job would wait for an answer for ever.
bool AtForegroundTerminal() {
    return isatty(STDIN_FILENO) == 1 && SysTcgetpgrp(STDIN_FILENO) == getpgrp();
}

bool Interactive() {
    int allowed = g_interactive.load();
    return allowed < 0 ? AtForegroundTerminal() : allowed == 1;
}

// A terminal's user is asked in the terminal; the dialog relies on the desktop's agent.
bool AskInTerminal() {
    return g_interactive.load() < 0 && AtForegroundTerminal();
}

// The options every call takes: whether polkit may ask anybody at all. The service would
// otherwise let a desktop agent ask on behalf of a script, which then waits for an answer.
int AppendOptions(sd_bus_message* m, bool interactive, int openFlags) {
    int r = sd_bus_message_open_container(m, 'a', "{sv}");
    if (r >= 0 && !interactive)
        r = sd_bus_message_append(m, "{sv}", "auth.no_user_interaction", "b", 1);
    if (r >= 0 && openFlags) r = sd_bus_message_append(m, "{sv}", "flags", "i", openFlags);
    if (r >= 0) r = sd_bus_message_close_container(m);
    return r;
}

struct Bus {
    sd_bus* bus = nullptr;
    ~Bus() { sd_bus_flush_close_unref(bus); }
};
struct Message {
    sd_bus_message* m = nullptr;
    ~Message() { sd_bus_message_unref(m); }
};
struct Error {
    sd_bus_error e{};  // SD_BUS_ERROR_NULL, without its C99 compound literal
    ~Error() { sd_bus_error_free(&e); }
    bool Is(const char* name) const { return sd_bus_error_has_name(&e, name); }
    bool StartsWith(const char* prefix) const {
        return e.name && std::strncmp(e.name, prefix, std::strlen(prefix)) == 0;
    }
};

// The service reports a failed open(2) as "Error opening device X: <strerror>", in its own
// (English) words; the codes a drive can meet are told apart so the job reports them as such.
int CodeOfFailure(const char* message) {
    static const std::pair<int, const char*> kTexts[] = {
        {EBUSY, "Device or resource busy"}, {EROFS, "Read-only file system"},
        {ENOMEDIUM, "No medium found"},     {ENXIO, "No such device or address"},
        {EACCES, "Permission denied"},      {ENOENT, "No such file or directory"},
        {EINVAL, "Invalid argument"},
    };
    if (message) {
        size_t length = std::strlen(message);
        for (const auto& [code, text] : kTexts) {
            size_t n = std::strlen(text);
            if (length >= n && std::strcmp(message + length - n, text) == 0) return code;
        }
    }
    return EIO;
}

// Turns a failed call into an errno value, or 0 when the service is not there.
int CodeOfError(const Error& error, int callResult) {
    if (error.StartsWith("org.freedesktop.UDisks2.Error.NotAuthorized") ||
        error.Is(SD_BUS_ERROR_ACCESS_DENIED) || error.Is(SD_BUS_ERROR_AUTH_FAILED) ||
        error.Is(SD_BUS_ERROR_INTERACTIVE_AUTHORIZATION_REQUIRED))
        return EACCES;
    if (error.Is(SD_BUS_ERROR_SERVICE_UNKNOWN) || error.Is(SD_BUS_ERROR_NAME_HAS_NO_OWNER) ||
        error.Is(SD_BUS_ERROR_UNKNOWN_OBJECT) || error.Is(SD_BUS_ERROR_NO_SERVER) ||
        error.Is(SD_BUS_ERROR_DISCONNECTED))
        return 0;
    if (error.StartsWith("org.freedesktop.UDisks2.Error.")) return CodeOfFailure(error.e.message);
    if (callResult == -ETIMEDOUT || error.Is(SD_BUS_ERROR_NO_REPLY) ||
        error.Is(SD_BUS_ERROR_TIMEOUT))
        return ETIMEDOUT;
    return 0;
}

void NoteRefusal(const Error& error, int callResult) {
    if (error.e.message && *error.e.message)
        SetRefusal(error.e.message);
    else if (callResult == -ETIMEDOUT)
        SetRefusal("the service did not answer in time");
    else
        SetRefusal(std::strerror(-callResult));
}

// The service's object for the device, by its path in /dev. ResolveDevice and OpenDevice came
// with UDisks2 2.7.3, older than any service Debian ships: an older one counts as absent.
std::string FindBlockObject(sd_bus* bus, const std::string& devicePath, Error* error, int* result,
                            uint64_t timeout = kTimeoutUsec, bool startService = true) {
    Message call, reply;
    *result = sd_bus_message_new_method_call(bus, &call.m, kService, kManagerPath, kManager,
                                             "ResolveDevice");
    if (*result >= 0 && !startService) *result = sd_bus_message_set_auto_start(call.m, 0);
    if (*result >= 0) *result = sd_bus_message_set_allow_interactive_authorization(call.m, 0);
    if (*result >= 0)
        *result = sd_bus_message_append(call.m, "a{sv}", 1, "path", "s", devicePath.c_str());
    if (*result >= 0) *result = sd_bus_message_append(call.m, "a{sv}", 0);
    if (*result >= 0) *result = sd_bus_call(bus, call.m, timeout, &error->e, &reply.m);
    if (*result < 0) return {};
    const char* object = nullptr;
    *result = sd_bus_message_enter_container(reply.m, 'a', "o");
    if (*result > 0) *result = sd_bus_message_read(reply.m, "o", &object);
    if (*result <= 0 || !object) {
        *result = -ENODEV;
        return {};
    }
    return object;
}

// OpenDevice with the access mode of flags, and O_EXCL and O_DIRECT where flags have them.
int CallOpen(sd_bus* bus, const std::string& object, int flags, Error* error, int* result) {
    int access = flags & O_ACCMODE;
    const char* mode = access == O_RDWR ? "rw" : access == O_WRONLY ? "w" : "r";
    bool interactive = Interactive();
    uint64_t timeout = interactive ? kInteractiveTimeoutUsec : kTimeoutUsec;
    std::optional<TerminalAuthenticationAgent> agent;
    if (interactive && AskInTerminal()) agent.emplace();
    Message call, reply;
    *result = sd_bus_message_new_method_call(bus, &call.m, kService, object.c_str(), kBlock,
                                             "OpenDevice");
    if (*result >= 0)
        *result = sd_bus_message_set_allow_interactive_authorization(call.m, interactive);
    if (*result >= 0) *result = sd_bus_message_append(call.m, "s", mode);
    if (*result >= 0) *result = AppendOptions(call.m, interactive, flags & (O_EXCL | O_DIRECT));
    if (*result >= 0) *result = sd_bus_call(bus, call.m, timeout, &error->e, &reply.m);
    if (*result < 0) return -1;
    int fd = -1;
    *result = sd_bus_message_read(reply.m, "h", &fd);
    if (*result <= 0) {
        *result = -EBADMSG;
        return -1;
    }
    // The descriptor belongs to the reply; keep a copy of our own.
    int own = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (own < 0) *result = -errno;
    return own;
}

const char* AccessText(int access) {
    return access == O_RDWR     ? "reading and writing"
           : access == O_WRONLY ? "writing only"
                                : "reading only";
}

// What the listing keeps of a drive object (org.freedesktop.UDisks2.Drive).
struct DriveProperties {
    bool removable = false;  // MediaRemovable: the kernel's "removable", as sysfs has it
    bool usb = false;
    std::string bus;
    std::string vendor;
    std::string model;
    std::string serial;
    int mediaAvailable = -1;
};

// What it keeps of a block object, whose drive is named by its object path.
struct BlockProperties {
    std::string device;  // "/dev/sdb"
    unsigned long long size = 0;
    std::string drive;
    bool partition = false;
    bool loop = false;
};

// Each reads one property's variant, of the type the service gives that property, into *out.
int ReadString(sd_bus_message* m, std::string* out) {
    const char* text = nullptr;
    int r = sd_bus_message_read(m, "v", "s", &text);
    if (r > 0 && text) *out = text;
    return r;
}
int ReadBool(sd_bus_message* m, bool* out) {
    int value = 0;
    int r = sd_bus_message_read(m, "v", "b", &value);
    if (r > 0) *out = value != 0;
    return r;
}
int ReadBytes(sd_bus_message* m, std::string* out) {
    int r = sd_bus_message_enter_container(m, 'v', "ay");
    if (r <= 0) return r;
    const void* bytes = nullptr;
    size_t size = 0;
    r = sd_bus_message_read_array(m, 'y', &bytes, &size);
    if (r < 0) return r;
    // The service sends the path with its terminating NUL.
    out->assign(static_cast<const char*>(bytes), strnlen(static_cast<const char*>(bytes), size));
    return sd_bus_message_exit_container(m);
}

// Walks one interface's a{sv}, handing each property name to read, which either reads the
// variant or returns 0 to have it skipped.
template <typename Read>
int ReadProperties(sd_bus_message* m, Read read) {
    int r = sd_bus_message_enter_container(m, 'a', "{sv}");
    if (r <= 0) return r < 0 ? r : -EBADMSG;
    while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
        const char* name = nullptr;
        r = sd_bus_message_read(m, "s", &name);
        if (r <= 0) return r < 0 ? r : -EBADMSG;
        r = read(std::string(name));
        if (r == 0) r = sd_bus_message_skip(m, "v");
        if (r < 0) return r;
        r = sd_bus_message_exit_container(m);
        if (r < 0) return r;
    }
    if (r < 0) return r;
    return sd_bus_message_exit_container(m);
}

int ReadDrive(sd_bus_message* m, DriveProperties* drive) {
    return ReadProperties(m, [&](const std::string& name) {
        if (name == "MediaRemovable") return ReadBool(m, &drive->removable);
        if (name == "MediaAvailable") {
            bool available = false;
            int r = ReadBool(m, &available);
            drive->mediaAvailable = available ? 1 : 0;
            return r;
        }
        if (name == "Vendor") return ReadString(m, &drive->vendor);
        if (name == "Model") return ReadString(m, &drive->model);
        if (name == "Serial") return ReadString(m, &drive->serial);
        if (name == "ConnectionBus") {
            int r = ReadString(m, &drive->bus);
            drive->usb = drive->bus == "usb";
            return r;
        }
        return 0;
    });
}

int ReadBlock(sd_bus_message* m, BlockProperties* block) {
    return ReadProperties(m, [&](const std::string& name) {
        if (name == "Device") return ReadBytes(m, &block->device);
        if (name == "Size") {
            uint64_t size = 0;
            int r = sd_bus_message_read(m, "v", "t", &size);
            block->size = size;
            return r;
        }
        if (name == "Drive") {
            const char* object = nullptr;
            int r = sd_bus_message_read(m, "v", "o", &object);
            if (r > 0 && object) block->drive = object;
            return r;
        }
        return 0;
    });
}

// The reply of ObjectManager.GetManagedObjects: a{oa{sa{sv}}}, every object with every
// interface and its properties.
int ReadObjects(sd_bus_message* m, std::vector<BlockProperties>* blocks,
                std::map<std::string, DriveProperties>* drives) {
    int r = sd_bus_message_enter_container(m, 'a', "{oa{sa{sv}}}");
    if (r <= 0) return r < 0 ? r : -EBADMSG;
    while ((r = sd_bus_message_enter_container(m, 'e', "oa{sa{sv}}")) > 0) {
        const char* object = nullptr;
        r = sd_bus_message_read(m, "o", &object);
        if (r <= 0) return r < 0 ? r : -EBADMSG;
        BlockProperties block;
        bool isBlock = false, isDrive = false;
        DriveProperties drive;
        r = sd_bus_message_enter_container(m, 'a', "{sa{sv}}");
        if (r <= 0) return r < 0 ? r : -EBADMSG;
        while ((r = sd_bus_message_enter_container(m, 'e', "sa{sv}")) > 0) {
            const char* interface = nullptr;
            r = sd_bus_message_read(m, "s", &interface);
            if (r <= 0) return r < 0 ? r : -EBADMSG;
            std::string name = interface;
            if (name == kBlock) {
                isBlock = true;
                r = ReadBlock(m, &block);
            } else if (name == kDrive) {
                isDrive = true;
                r = ReadDrive(m, &drive);
            } else {
                block.partition = block.partition || name == kPartition;
                block.loop = block.loop || name == kLoop;
                r = sd_bus_message_skip(m, "a{sv}");
            }
            if (r < 0) return r;
            r = sd_bus_message_exit_container(m);
            if (r < 0) return r;
        }
        if (r < 0) return r;
        r = sd_bus_message_exit_container(m);  // the interfaces
        if (r < 0) return r;
        r = sd_bus_message_exit_container(m);  // the object's entry
        if (r < 0) return r;
        if (isBlock) blocks->push_back(std::move(block));
        if (isDrive) (*drives)[object] = std::move(drive);
    }
    if (r < 0) return r;
    return sd_bus_message_exit_container(m);
}

// Properties.GetAll of one interface of object, its a{sv} handed to read.
template <typename Read>
int GetAllProperties(sd_bus* bus, const std::string& object, const char* interface, Read read) {
    Message call, reply;
    Error error;
    int r = sd_bus_message_new_method_call(bus, &call.m, kService, object.c_str(),
                                           "org.freedesktop.DBus.Properties", "GetAll");
    if (r >= 0) r = sd_bus_message_set_auto_start(call.m, 0);
    if (r >= 0) r = sd_bus_message_set_allow_interactive_authorization(call.m, 0);
    if (r >= 0) r = sd_bus_message_append(call.m, "s", interface);
    if (r >= 0) r = sd_bus_call(bus, call.m, kDescribeTimeoutUsec, &error.e, &reply.m);
    if (r >= 0) r = read(reply.m);
    return r;
}

}  // namespace

bool DescriptorAllows(int fd, int flags) {
    int got = SysGetFlags(fd);
    if (got < 0) return false;
    int have = got & O_ACCMODE, want = flags & O_ACCMODE;
    return have == want || have == O_RDWR;
}

void AllowInteractiveAuthorization(bool allow) {
    g_interactive.store(allow ? 1 : 0);
}

std::string UdisksLastRefusal() {
    std::lock_guard<std::mutex> lock(g_refusalMutex);
    return g_refusal;
}

int UdisksOpenDevice(const std::string& path, int flags, int refusedCode) {
    SetRefusal({});
    if (int injected = SysFault(SysCall::Open, path.c_str())) {
        errno = injected;
        return -1;
    }
    struct stat wanted;
    char real[PATH_MAX];
    if (SysStat(path.c_str(), &wanted) != 0 || !S_ISBLK(wanted.st_mode) ||
        !::realpath(path.c_str(), real)) {
        errno = refusedCode;
        return -1;
    }
    Bus bus;
    if (sd_bus_open_system(&bus.bus) < 0) {
        errno = refusedCode;
        return -1;
    }
    Error error;
    int result = 0;
    std::string object = FindBlockObject(bus.bus, real, &error, &result);
    int fd = object.empty() ? -1 : CallOpen(bus.bus, object, flags, &error, &result);
    if (fd < 0) {
        int code = CodeOfError(error, result);
        if (code) NoteRefusal(error, result);
        errno = code ? code : refusedCode;
        return -1;
    }
    // The service opened what its object names; make sure that is the device asked for.
    struct stat got;
    if (SysFstat(fd, &got, path.c_str()) != 0 || !S_ISBLK(got.st_mode) ||
        got.st_rdev != wanted.st_rdev) {
        SysClose(fd, path.c_str());
        errno = ENODEV;
        return -1;
    }
    // Reading the boot sector through a descriptor open for writing only would fail with a
    // code that tells nobody anything.
    if (!DescriptorAllows(fd, flags)) {
        int got = SysGetFlags(fd, path.c_str());
        SetRefusal(std::string("it handed over a descriptor open for ") +
                   (got < 0 ? "an unknown access" : AccessText(got & O_ACCMODE)) + ", not for " +
                   AccessText(flags & O_ACCMODE));
        SysClose(fd, path.c_str());
        errno = EACCES;
        return -1;
    }
    return fd;
}

bool UdisksListBlockDevices(std::vector<BlockDeviceInfo>* devices) {
    devices->clear();
    Bus bus;
    if (sd_bus_open_system(&bus.bus) < 0) return false;
    Message call, reply;
    Error error;
    int r =
        sd_bus_message_new_method_call(bus.bus, &call.m, kService, kRootPath,
                                       "org.freedesktop.DBus.ObjectManager", "GetManagedObjects");
    // Reading what the service shows needs no permission: nobody is asked.
    if (r >= 0) r = sd_bus_message_set_allow_interactive_authorization(call.m, 0);
    if (r >= 0) r = sd_bus_call(bus.bus, call.m, kTimeoutUsec, &error.e, &reply.m);
    if (r < 0) return false;
    std::vector<BlockProperties> blocks;
    std::map<std::string, DriveProperties> drives;
    if (ReadObjects(reply.m, &blocks, &drives) < 0) return false;
    for (const BlockProperties& block : blocks) {
        if (block.partition || block.device.compare(0, 5, "/dev/") != 0) continue;
        BlockDeviceInfo device;
        device.name = block.device.substr(5);
        device.sectors = static_cast<long long>(block.size / 512);
        device.loop = block.loop;
        auto drive = drives.find(block.drive);
        if (drive != drives.end()) {
            device.removable = drive->second.removable;
            device.usb = drive->second.usb;
            device.vendor = drive->second.vendor;
            device.model = drive->second.model;
            device.mediaAvailable = drive->second.mediaAvailable;
        }
        devices->push_back(std::move(device));
    }
    std::sort(devices->begin(), devices->end(),
              [](const BlockDeviceInfo& a, const BlockDeviceInfo& b) { return a.name < b.name; });
    return true;
}

bool UdisksDescribeDrive(const std::string& path, UdisksDrive* drive) {
    *drive = {};
    Bus bus;
    if (sd_bus_open_system(&bus.bus) < 0) return false;
    Error error;
    int r = 0;
    const std::string object =
        FindBlockObject(bus.bus, path, &error, &r, kDescribeTimeoutUsec, /*startService=*/false);
    if (object.empty()) return false;
    BlockProperties block;
    r = GetAllProperties(bus.bus, object, kBlock,
                         [&](sd_bus_message* m) { return ReadBlock(m, &block); });
    // A loop device or a partitionless image has "/" for its drive.
    if (r < 0 || block.drive.empty() || block.drive == "/") return false;
    DriveProperties properties;
    r = GetAllProperties(bus.bus, block.drive, kDrive,
                         [&](sd_bus_message* m) { return ReadDrive(m, &properties); });
    if (r < 0) return false;
    drive->vendor = properties.vendor;
    drive->model = properties.model;
    drive->serial = properties.serial;
    drive->bus = properties.bus;
    return true;
}

}  // namespace platform
