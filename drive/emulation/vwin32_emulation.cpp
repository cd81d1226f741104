#include "drive/emulation/vwin32_emulation.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "drive/emulation/drive_bay.h"
#include "drive/emulation/request_order.h"
#include "drive/win95_wire.h"
#include "platform/flat_memory.h"
#include "platform/handle.h"
#include "platform/last_error.h"

namespace emulation {

namespace {
// Enough for every request of several whole jobs; later requests are served but not kept.
constexpr size_t kCaptureCapacity = 8192;
constexpr DWORD kSectorBytes = 512;
}  // namespace

struct Vwin32Service::State {
    explicit State(Win95Release r) : release(r) { captured.reserve(kCaptureCapacity); }

    mutable std::mutex mutex;
    Win95Release release;
    DWORD failOpen = 0;
    FaultPlan faults;
    VolumeLock locks[kDriveLetters];
    std::vector<Vwin32Capture> captured;
    int openHandles = 0;
};

DWORD CriticalErrorCode(MediaError error) {
    switch (error) {
        case MediaError::None:
            return 0;
        case MediaError::WriteProtected:
            return 0x00;
        case MediaError::UnknownUnit:
            return 0x01;
        case MediaError::NotReady:
            return 0x02;
        case MediaError::SeekError:
            return 0x06;
        case MediaError::SectorNotFound:
            return 0x08;
        case MediaError::WriteFault:
            return 0x0A;
        case MediaError::ReadFault:
            return 0x0B;
        case MediaError::General:
            return 0x0C;
    }
    return 0x0C;
}

namespace {

using State = Vwin32Service::State;

BOOL Fail(DWORD code) {
    SetLastError(code);
    return FALSE;
}

bool IsTransfer(Request r) {
    return r == Request::AbsoluteRead || r == Request::AbsoluteWrite ||
           r == Request::ExtendedRead || r == Request::ExtendedWrite;
}

bool IsWrite(Request r) {
    return r == Request::AbsoluteWrite || r == Request::ExtendedWrite;
}

Request Classify(DWORD code, const DIOC_REGISTERS& regs) {
    DWORD ax = regs.reg_EAX & 0xFFFF;
    switch (code) {
        case VWIN32_DIOC_DOS_IOCTL:
            if (ax != 0x440D) return Request::Other;
            if ((regs.reg_ECX & 0xFF) == 0x4A) return Request::Lock;
            if ((regs.reg_ECX & 0xFF) == 0x6A) return Request::Unlock;
            return Request::Other;
        case VWIN32_DIOC_DOS_INT25:
            return Request::AbsoluteRead;
        case VWIN32_DIOC_DOS_INT26:
            return Request::AbsoluteWrite;
        case VWIN32_DIOC_DOS_DRIVEINFO:
            if (ax != 0x7305) return Request::Other;
            return (regs.reg_ESI & 1) ? Request::ExtendedWrite : Request::ExtendedRead;
        default:
            return Request::Other;
    }
}

class Vwin32Device final : public KernelObject {
  public:
    Vwin32Device(std::shared_ptr<State> state, ProgramId program)
        : m_state(std::move(state)), m_program(program) {
        std::lock_guard lock(m_state->mutex);
        ++m_state->openHandles;
    }
    ~Vwin32Device() override {
        std::lock_guard lock(m_state->mutex);
        --m_state->openHandles;
    }

    BOOL Ioctl(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
               DWORD* bytesReturned) override {
        if (bytesReturned) *bytesReturned = 0;
        Vwin32Capture capture;
        capture.program = m_program;
        capture.sequence = NextSequence();
        capture.code = code;
        capture.inSize = inSize;
        capture.outSize = outSize;
        if (in) std::memcpy(capture.received.data(), in, std::min<DWORD>(inSize, 28));
        BOOL ok = Serve(code, static_cast<const BYTE*>(in), inSize, static_cast<BYTE*>(out),
                        outSize, capture);
        capture.result = ok;
        if (ok) {
            std::memcpy(capture.returned.data(), out, kDiocRegistersBytes);
            if (bytesReturned) *bytesReturned = kDiocRegistersBytes;
        } else {
            capture.error = GetLastError();
        }
        Record(capture);
        return ok;
    }

  private:
    Win95Release Release() const {
        std::lock_guard lock(m_state->mutex);
        return m_state->release;
    }

    void Record(const Vwin32Capture& capture) {
        std::lock_guard lock(m_state->mutex);
        if (m_state->captured.size() < m_state->captured.capacity())
            m_state->captured.push_back(capture);
    }

    BOOL Serve(DWORD code, const BYTE* in, DWORD inSize, BYTE* out, DWORD outSize,
               Vwin32Capture& capture) {
        bool known = code == VWIN32_DIOC_DOS_IOCTL || code == VWIN32_DIOC_DOS_INT25 ||
                     code == VWIN32_DIOC_DOS_INT26 || code == VWIN32_DIOC_DOS_DRIVEINFO;
        // Before OSR2 there is no code 6: the call fails, which is how a caller tells.
        if (!known || (code == VWIN32_DIOC_DOS_DRIVEINFO && Release() == Win95Release::Original))
            return Fail(ENOTTY);
        if (!in || !out || inSize < kDiocRegistersBytes || outSize < kDiocRegistersBytes)
            return Fail(EINVAL);

        DIOC_REGISTERS regs = LoadRegisters(in);
        Request request = Classify(code, regs);
        capture.request = request;

        DiskIoPacket packet{};
        void* buffer = nullptr;
        if (IsTransfer(request) && (regs.reg_ECX & 0xFFFF) == 0xFFFF) {
            // DS:BX is the packet; in this flat model EBX alone addresses it.
            const void* p = platform::ResolveFlatAddress(regs.reg_EBX, kDiskIoPacketBytes);
            if (!p) return Fail(EFAULT);
            std::memcpy(capture.packet.data(), p, kDiskIoPacketBytes);
            capture.packetRead = true;
            packet = LoadPacket(capture.packet.data());
            buffer = platform::ResolveFlatAddress(packet.buffer, packet.count * kSectorBytes);
            if (!buffer) return Fail(EFAULT);
            capture.buffer = buffer;
        }

        DWORD ax = 0;
        bool carry;
        if (auto fault = m_state->faults.Take(request, packet.startSector, packet.count)) {
            if (fault->effect == FaultEffect::FailCall) return Fail(fault->value);
            carry = true;
            ax = fault->value & 0xFFFF;
        } else {
            carry = !Execute(request, regs, packet, buffer, &ax);
        }
        if (carry) {
            regs.reg_Flags |= kCarryFlag;
            regs.reg_EAX = (regs.reg_EAX & 0xFFFF0000u) | ax;
        } else {
            regs.reg_Flags &= ~kCarryFlag;
        }
        StoreRegisters(regs, out);
        return TRUE;
    }

    // Carries out the DOS call; false with the error code in *ax when it fails.
    bool Execute(Request request, const DIOC_REGISTERS& regs, const DiskIoPacket& packet,
                 void* buffer, DWORD* ax) {
        switch (request) {
            case Request::Lock:
            case Request::Unlock:
                return VolumeIoctl(request, regs, ax);
            case Request::AbsoluteRead:
            case Request::AbsoluteWrite:
                // Without CX = 0FFFFh Int 25h/26h take the old small-volume form, which this
                // service does not carry.
                if ((regs.reg_ECX & 0xFFFF) != 0xFFFF) {
                    *ax = 0x03;
                    return false;
                }
                return Move(regs.reg_EAX & 0xFF, packet, buffer, IsWrite(request), ax);
            case Request::ExtendedRead:
            case Request::ExtendedWrite: {
                if ((regs.reg_ECX & 0xFFFF) != 0xFFFF) {
                    *ax = kDosInvalidParameter;
                    return false;
                }
                // DL = 0 would be the default drive, which this system does not have.
                DWORD number = regs.reg_EDX & 0xFF;
                if (number == 0) {
                    *ax = CriticalErrorCode(MediaError::UnknownUnit);
                    return false;
                }
                return Move(number - 1, packet, buffer, IsWrite(request), ax);
            }
            default:
                *ax = kDosInvalidFunction;
                return false;
        }
    }

    bool Move(DWORD driveIndex, const DiskIoPacket& packet, void* buffer, bool write, DWORD* ax) {
        MediaError e =
            m_drives.Transfer(driveIndex, packet.startSector, packet.count, buffer, write);
        if (e == MediaError::None) return true;
        *ax = CriticalErrorCode(e);
        return false;
    }

    bool VolumeIoctl(Request request, const DIOC_REGISTERS& regs, DWORD* ax) {
        DWORD category = (regs.reg_ECX >> 8) & 0xFF;
        DWORD number = regs.reg_EBX & 0xFF;
        DWORD level = (regs.reg_EBX >> 8) & 0xFF;
        std::lock_guard lock(m_state->mutex);
        // Category 48h, for FAT32-capable volumes, came with OSR2.
        bool osr2 = m_state->release == Win95Release::Osr2;
        if (category != 0x08 && !(category == 0x48 && osr2)) {
            *ax = kDosInvalidFunction;
            return false;
        }
        if (number < 1 || number > kDriveLetters) {
            *ax = kDosInvalidDrive;
            return false;
        }
        VolumeLock& v = m_state->locks[number - 1];
        if (request == Request::Lock) {
            if (level > 3) {
                *ax = kDosInvalidParameter;
                return false;
            }
            if (v.holder != 0 && v.holder != m_program) {
                *ax = kDosAccessDenied;
                return false;
            }
            v.holder = m_program;
            ++v.count;
            v.level = static_cast<BYTE>(level);
            v.permissions = regs.reg_EDX;
            return true;
        }
        if (v.holder != m_program) {
            *ax = kDosAccessDenied;
            return false;
        }
        if (--v.count == 0) v = {};
        return true;
    }

    std::shared_ptr<State> m_state;
    ProgramId m_program;
    DriveBay m_drives;
};

HANDLE OpenDevice(const std::shared_ptr<State>& state, ProgramId program) {
    DWORD refusal;
    {
        std::lock_guard lock(state->mutex);
        refusal = state->failOpen;
    }
    if (refusal) {
        SetLastError(refusal);
        return nullptr;
    }
    return new Vwin32Device(state, program);
}

}  // namespace

Vwin32Service::Vwin32Service(Win95Release release) : m_state(std::make_shared<State>(release)) {}
Vwin32Service::~Vwin32Service() = default;

platform::DeviceFactory Vwin32Service::Factory(ProgramId program) const {
    return [state = m_state, program] { return OpenDevice(state, program); };
}

HANDLE Vwin32Service::Open(ProgramId program) const {
    HANDLE h = OpenDevice(m_state, program);
    return h ? h : INVALID_HANDLE_VALUE;
}

void Vwin32Service::SetRelease(Win95Release release) {
    std::lock_guard lock(m_state->mutex);
    m_state->release = release;
}

void Vwin32Service::FailOpen(DWORD code) {
    std::lock_guard lock(m_state->mutex);
    m_state->failOpen = code;
}

FaultPlan& Vwin32Service::faults() {
    return m_state->faults;
}

VolumeLock Vwin32Service::Lock(BYTE driveNumber) const {
    std::lock_guard lock(m_state->mutex);
    if (driveNumber < 1 || driveNumber > kDriveLetters) return {};
    return m_state->locks[driveNumber - 1];
}

void Vwin32Service::SeizeVolume(BYTE driveNumber, ProgramId program) {
    std::lock_guard lock(m_state->mutex);
    if (driveNumber < 1 || driveNumber > kDriveLetters) return;
    m_state->locks[driveNumber - 1] = {program, 1, 0, 0};
}

void Vwin32Service::EndProgram(ProgramId program) {
    std::lock_guard lock(m_state->mutex);
    for (VolumeLock& v : m_state->locks)
        if (v.holder == program) v = {};
}

std::vector<Vwin32Capture> Vwin32Service::Captured() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->captured;
}

void Vwin32Service::ClearCaptured() {
    std::lock_guard lock(m_state->mutex);
    m_state->captured.clear();
}

int Vwin32Service::OpenHandles() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->openHandles;
}

}  // namespace emulation
