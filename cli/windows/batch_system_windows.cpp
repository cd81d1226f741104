// A batch on Windows: the drive's maker and model from its storage driver, and the end of the
// batch typed at the console (Ctrl+Z, then Enter) or the end of a pipe, read on a thread of
// its own since a console handle cannot be polled for a whole line.
#include <atomic>
#include <memory>

#include "cli/batch_system.h"
#include "platform/file_api.h"
#include "platform/handle.h"
#include "platform/win_types.h"

namespace cli {

DriveModel DescribeDevice(const std::string& device) {
    DriveModel drive;
    // No access asked: the question goes to the driver, not to the diskette.
    UniqueHandle handle(CreateFileA(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    if (!handle.valid()) return drive;
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    alignas(STORAGE_DEVICE_DESCRIPTOR) char buffer[1024] = {};
    DWORD returned = 0;
    if (!DeviceIoControl(handle.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, buffer,
                         sizeof buffer - 1, &returned, nullptr) ||
        returned < sizeof(STORAGE_DEVICE_DESCRIPTOR))
        return drive;
    const auto* descriptor = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(buffer);
    auto text = [&](DWORD offset) {
        std::string field = offset && offset < returned ? buffer + offset : "";
        while (!field.empty() && field.back() == ' ') field.pop_back();
        return field;
    };
    drive.vendor = text(descriptor->VendorIdOffset);
    drive.model = text(descriptor->ProductIdOffset);
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
