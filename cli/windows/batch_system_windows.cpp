// A batch on Windows: the drive's maker and model from its storage driver, and the end of the
// batch typed at the console (Ctrl+Z, then Enter) or the end of a pipe, read on a thread of
// its own since a console handle cannot be polled for a whole line.
#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/batch_system.h"
#include "platform/file_api.h"
#include "platform/handle.h"
#include "platform/win_types.h"
#include "platform/windows/wide_path.h"

namespace cli {

namespace {

// STORAGE_BUS_TYPE in plain words.
std::string KindOfBus(STORAGE_BUS_TYPE bus) {
    switch (bus) {
        case BusTypeUsb:
            return "USB";
        case BusTypeAta:
        case BusTypeSata:
        case BusTypeAtapi:
            return "ATA";
        case BusTypeScsi:
        case BusTypeSas:
        case BusTypeiScsi:
            return "SCSI";
        case BusType1394:
            return "FireWire";
        case BusTypeSd:
        case BusTypeMmc:
            return "SD/MMC";
        case BusTypeNvme:
            return "NVMe";
        case BusTypeVirtual:
        case BusTypeFileBackedVirtual:
            return "virtual disk";
        default:
            return "block device";
    }
}

// The legacy floppy driver's drives, A: and B:, as the drive map names them.
bool FloppyLetter(const std::string& device) {
    return device.size() == 6 && device.compare(0, 4, "\\\\.\\") == 0 &&
           (device[4] == 'A' || device[4] == 'B' || device[4] == 'a' || device[4] == 'b') &&
           device[5] == ':';
}

}  // namespace

DriveModel DescribeDevice(const std::string& device) {
    DriveModel drive;
    if (device.compare(0, 4, "\\\\.\\") != 0) {
        const DWORD attributes = GetFileAttributesW(platform::SystemPath(device).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            drive.kind = "image file";
        return drive;
    }
    // No access asked: the question goes to the driver, not to the diskette.
    UniqueHandle handle(CreateFileW(platform::SystemPath(device).c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
    if (!handle.valid()) return drive;
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    // The descriptor says how long it is whole; a driver with long strings gets a second ask.
    std::vector<char> buffer(1024);
    DWORD returned = 0;
    bool answered = false;
    for (int ask = 0; ask < 2; ++ask) {
        returned = 0;
        answered = DeviceIoControl(handle.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query,
                                   buffer.data(), static_cast<DWORD>(buffer.size() - 1), &returned,
                                   nullptr) &&
                   returned >= sizeof(STORAGE_DEVICE_DESCRIPTOR);
        if (!answered) break;
        const DWORD whole = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(buffer.data())->Size;
        if (whole < buffer.size()) break;
        buffer.assign(whole + 1, 0);
    }
    // The legacy floppy driver does not answer the storage query.
    if (!answered) {
        if (FloppyLetter(device)) drive.kind = "floppy controller";
        return drive;
    }
    STORAGE_DEVICE_DESCRIPTOR descriptor;
    std::memcpy(&descriptor, buffer.data(), sizeof descriptor);
    // An offset of 0 means the device has no such string; the strings are ASCII, padded with
    // blanks.
    auto text = [&](DWORD offset) {
        std::string field;
        if (offset == 0 || offset >= returned) return field;
        for (DWORD i = offset; i < returned && buffer[i] != '\0'; ++i)
            field += buffer[i] >= 0x20 && buffer[i] < 0x7F ? buffer[i] : '?';
        const size_t first = field.find_first_not_of(' ');
        if (first == std::string::npos) return std::string();
        return field.substr(first, field.find_last_not_of(' ') - first + 1);
    };
    drive.vendor = text(descriptor.VendorIdOffset);
    drive.model = text(descriptor.ProductIdOffset);
    drive.serial = text(descriptor.SerialNumberOffset);
    drive.kind = descriptor.BusType == BusTypeUnknown && FloppyLetter(device)
                     ? "floppy controller"
                     : KindOfBus(descriptor.BusType);
    return drive;
}

const char* const kEndOfInputKeys = "Ctrl+Z, Enter";

namespace {

// What the reading thread shares with the batch; the thread keeps it alive while it blocks.
struct Reader {
    HANDLE input = INVALID_HANDLE_VALUE;
    std::atomic<bool> ended{false};
    UniqueHandle typed{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
};

DWORD WINAPI ReadInput(void* parameter) {
    std::unique_ptr<std::shared_ptr<Reader>> owner(
        static_cast<std::shared_ptr<Reader>*>(parameter));
    Reader& reader = **owner;
    for (;;) {
        char buffer[256];
        DWORD count = 0;
        SetLastError(ERROR_SUCCESS);
        const BOOL read = ReadFile(reader.input, buffer, sizeof buffer, &count, nullptr);
        // Ctrl+C during a console read ends the read with nothing in it; that is no end.
        if (read && count == 0 && GetLastError() == ERROR_OPERATION_ABORTED) continue;
        if (!read || count == 0 || buffer[0] == '\x1a') {
            reader.ended = true;
            SetEvent(reader.typed.get());
            return 0;
        }
        SetEvent(reader.typed.get());
    }
}

}  // namespace

struct BatchInput::State {
    std::shared_ptr<Reader> reader;
    UniqueHandle thread;
    bool endedAtStart = false;
};

BatchInput::BatchInput(bool terminalOnly) : m_state(std::make_unique<State>()) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    const bool valid = input != nullptr && input != INVALID_HANDLE_VALUE;
    const bool console = valid && GetConsoleMode(input, &mode);
    const bool pipe = valid && !console && GetFileType(input) == FILE_TYPE_PIPE;
    // A file, NUL or no input at all: nothing will ever be typed.
    if (!console && !pipe) m_state->endedAtStart = !terminalOnly;
    if (!console && (!pipe || terminalOnly)) return;
    auto reader = std::make_shared<Reader>();
    reader->input = input;
    auto* share = new std::shared_ptr<Reader>(reader);
    m_state->thread.reset(CreateThread(nullptr, 0, ReadInput, share, 0, nullptr));
    if (!m_state->thread.valid()) {
        delete share;
        return;
    }
    m_state->reader = reader;
}

BatchInput::~BatchInput() {
    // The thread may be blocked in its read for good; it ends with the process.
    if (m_state->thread.valid()) CancelSynchronousIo(m_state->thread.get());
}

bool BatchInput::Ended() {
    return m_state->endedAtStart || (m_state->reader && m_state->reader->ended.load());
}

void BatchInput::Wait(int ms) {
    if (m_state->reader)
        WaitForSingleObject(m_state->reader->typed.get(), static_cast<DWORD>(ms));
    else
        Sleep(static_cast<DWORD>(ms));
}

}  // namespace cli
