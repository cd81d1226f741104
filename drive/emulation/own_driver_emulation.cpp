#include "drive/emulation/own_driver_emulation.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "drive/emulation/request_order.h"
#include "drive/win95_wire.h"
#include "platform/flat_memory.h"
#include "platform/handle.h"
#include "platform/last_error.h"

namespace emulation {

namespace {
constexpr size_t kCaptureCapacity = 8192;
constexpr DWORD kSectorBytes = 512;
}  // namespace

struct OwnDriverService::State {
    State() { captured.reserve(kCaptureCapacity); }

    mutable std::mutex mutex;
    DWORD failOpen = 0;
    FaultPlan faults;
    std::vector<DriverCapture> captured;
    int openHandles = 0;
    int releases[kDriveLetters] = {};
};

DWORD DriverStatus(MediaError error) {
    switch (error) {
        case MediaError::None:
            return 0;
        case MediaError::WriteProtected:
            return 31;
        case MediaError::UnknownUnit:
            return 23;
        case MediaError::NotReady:
            return 32;
        case MediaError::SeekError:
            return 21;
        case MediaError::SectorNotFound:
            return 16;
        case MediaError::ReadFault:
        case MediaError::WriteFault:
            return 26;
        case MediaError::General:
            return kDriverGeneralFailure;
    }
    return kDriverGeneralFailure;
}

namespace {

using State = OwnDriverService::State;

BOOL Fail(DWORD status) {
    SetLastError(status);
    return FALSE;
}

Request Classify(DWORD code) {
    switch (code) {
        case kDriverRead:
            return Request::DriverRead;
        case kDriverWrite:
            return Request::DriverWrite;
        case kDriverRelease:
            return Request::DriverRelease;
        default:
            return Request::Other;
    }
}

class OwnDriverDevice final : public KernelObject {
  public:
    explicit OwnDriverDevice(std::shared_ptr<State> state) : m_state(std::move(state)) {
        std::lock_guard lock(m_state->mutex);
        ++m_state->openHandles;
    }
    ~OwnDriverDevice() override {
        std::lock_guard lock(m_state->mutex);
        --m_state->openHandles;
    }

    BOOL Ioctl(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
               DWORD* bytesReturned) override {
        if (bytesReturned) *bytesReturned = 0;
        DriverCapture capture;
        capture.sequence = NextSequence();
        capture.code = code;
        capture.inSize = inSize;
        capture.outSize = outSize;
        capture.hadOutBuffer = out != nullptr;
        capture.request = Classify(code);
        if (in) std::memcpy(capture.record.data(), in, std::min<DWORD>(inSize, 16));
        BOOL ok = Serve(code, static_cast<const BYTE*>(in), inSize, capture);
        capture.result = ok;
        if (!ok) capture.error = GetLastError();
        {
            std::lock_guard lock(m_state->mutex);
            if (m_state->captured.size() < m_state->captured.capacity())
                m_state->captured.push_back(capture);
        }
        return ok;
    }

  private:
    BOOL Serve(DWORD code, const BYTE* in, DWORD inSize, DriverCapture& capture) {
        if (capture.request == Request::Other || !in || inSize != kDriverRequestBytes)
            return Fail(kDriverBadRequest);
        DriverRequest r = LoadDriverRequest(in);
        void* buffer = nullptr;
        if (code != kDriverRelease) {
            // The count travels zero-extended from 16 bits; more is no request of ours.
            if (r.count > 0xFFFF) return Fail(kDriverBadRequest);
            buffer = platform::ResolveFlatAddress(r.buffer, r.count * kSectorBytes);
            if (!buffer) return Fail(kDriverBadRequest);
            capture.buffer = buffer;
        }
        if (auto fault = m_state->faults.Take(capture.request, r.startSector, r.count))
            return Fail(fault->value);
        if (code == kDriverRelease) {
            // The job is done with the drive: let go of it until the next transfer.
            m_drives.Close(r.driveIndex);
            std::lock_guard lock(m_state->mutex);
            if (r.driveIndex < kDriveLetters) ++m_state->releases[r.driveIndex];
            return TRUE;
        }
        MediaError e =
            m_drives.Transfer(r.driveIndex, r.startSector, r.count, buffer, code == kDriverWrite);
        return e == MediaError::None ? TRUE : Fail(DriverStatus(e));
    }

    std::shared_ptr<State> m_state;
    DriveBay m_drives;
};

}  // namespace

OwnDriverService::OwnDriverService() : m_state(std::make_shared<State>()) {}
OwnDriverService::~OwnDriverService() = default;

platform::DeviceFactory OwnDriverService::Factory() const {
    return [state = m_state]() -> HANDLE {
        DWORD refusal;
        {
            std::lock_guard lock(state->mutex);
            refusal = state->failOpen;
        }
        if (refusal) {
            SetLastError(refusal);
            return nullptr;
        }
        return new OwnDriverDevice(state);
    };
}

void OwnDriverService::FailOpen(DWORD code) {
    std::lock_guard lock(m_state->mutex);
    m_state->failOpen = code;
}

FaultPlan& OwnDriverService::faults() {
    return m_state->faults;
}

std::vector<DriverCapture> OwnDriverService::Captured() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->captured;
}

void OwnDriverService::ClearCaptured() {
    std::lock_guard lock(m_state->mutex);
    m_state->captured.clear();
}

int OwnDriverService::OpenHandles() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->openHandles;
}

int OwnDriverService::Releases(DWORD driveIndex) const {
    std::lock_guard lock(m_state->mutex);
    return driveIndex < kDriveLetters ? m_state->releases[driveIndex] : 0;
}

}  // namespace emulation
