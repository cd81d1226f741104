#include "tests/win95/win95_world.h"

#include "drive/emulation/request_order.h"
#include "drive/win95_wire.h"
#include "platform/file_api.h"
#include "platform/le.h"

const char* Win95PathName(Win95Path path) {
    switch (path) {
        case Win95Path::Absolute:
            return "Absolute";
        case Win95Path::Extended:
            return "Extended";
        case Win95Path::Driver:
            return "Driver";
    }
    return "?";
}

void PrintTo(Win95Path path, std::ostream* os) {
    *os << Win95PathName(path);
}

Win95World::Win95World(emulation::Win95Release release, bool withDriver)
    : vwin32(release), m_vwin32("vwin32", vwin32.Factory()) {
    if (withDriver) {
        m_driver.emplace("vtavrel.vxd", [this, factory = driver.Factory()] {
            driverOpenedAt = emulation::NextSequence();
            return factory();
        });
    }
}

Win95World::Win95World(Win95Path path)
    : Win95World(path == Win95Path::Absolute ? emulation::Win95Release::Original
                                             : emulation::Win95Release::Osr2,
                 path == Win95Path::Driver) {}

namespace {
HANDLE OpenDevice(const char* path) {
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}
}  // namespace

OpenDevices OpenWin95Devices() {
    OpenDevices d;
    d.vwin32.reset(OpenDevice("\\\\.\\vwin32"));
    d.driver.reset(OpenDevice("\\\\.\\vtavrel.vxd"));
    return d;
}

DriveContext OpenDevices::Context(BOOL driverLoaded, BOOL useExtendedAccess) const {
    DriveContext c;
    c.isNT = FALSE;
    c.driverLoaded = driverLoaded;
    c.useExtendedAccess = useExtendedAccess;
    c.hVwin32 = vwin32.get();
    c.hDriver = driver.get();
    return c;
}

std::string CompareRegisters(const std::array<BYTE, 28>& block, const ExpectedRegisters& e) {
    const char* names[7] = {"EBX", "EDX", "ECX", "EAX", "EDI", "ESI", "Flags"};
    const long long want[7] = {e.ebx, e.edx, e.ecx, e.eax, e.edi, e.esi, e.flags};
    std::string diff;
    for (int i = 0; i < 7; ++i) {
        if (want[i] == Any) continue;
        for (int b = 0; b < 4; ++b) {
            auto expected = static_cast<BYTE>(static_cast<unsigned long long>(want[i]) >> (8 * b));
            if (block[static_cast<size_t>(4 * i + b)] != expected) {
                diff += std::string(names[i]) + " byte " + std::to_string(b) + " is " +
                        std::to_string(block[static_cast<size_t>(4 * i + b)]) + ", not " +
                        std::to_string(expected) + "; ";
            }
        }
    }
    return diff;
}

std::array<BYTE, 10> PacketBytes(DWORD start, WORD count, DWORD address) {
    std::array<BYTE, 10> p{};
    le::Put32(p.data(), start);
    le::Put16(p.data() + 4, count);
    le::Put32(p.data() + 6, address);
    return p;
}

std::array<BYTE, 16> RecordBytes(DWORD driveIndex, DWORD count, DWORD start, DWORD address) {
    std::array<BYTE, 16> r{};
    le::Put32(r.data(), driveIndex);
    le::Put32(r.data() + 4, count);
    le::Put32(r.data() + 8, start);
    le::Put32(r.data() + 12, address);
    return r;
}

DWORD FieldAt(const BYTE* bytes, int offset) {
    return le::Get32(bytes + offset);
}
