// Failures that a test asks an emulated Windows 95 service to give for chosen requests.
#pragma once

#include <mutex>
#include <optional>
#include <vector>

#include "platform/win_types.h"

namespace emulation {

// What a request asks for, as the service reads it from the registers or the record.
enum class Request {
    Lock,           // VWIN32 code 1, Int 21h 440Dh minor 4Ah
    Unlock,         // VWIN32 code 1, Int 21h 440Dh minor 6Ah
    AbsoluteRead,   // VWIN32 code 2, Int 25h
    AbsoluteWrite,  // VWIN32 code 3, Int 26h
    ExtendedRead,   // VWIN32 code 6, Int 21h 7305h, SI bit 0 clear
    ExtendedWrite,  // VWIN32 code 6, Int 21h 7305h, SI bit 0 set
    DriverRead,     // own driver code 1
    DriverWrite,    // own driver code 2
    DriverRelease,  // own driver code 3
    Other,          // anything else either service is sent
};

enum class FaultEffect {
    // VWIN32: the DOS call returns with the carry set and AX = value (AL is its low byte).
    Carry,
    // The DeviceIoControl call itself fails with value as the last-error value. For the own
    // driver this is its only way to fail: value is then its status, 0 to 44.
    FailCall,
};

struct Fault {
    Request request = Request::Other;
    FaultEffect effect = FaultEffect::Carry;
    DWORD value = 0;
    // Fires on the n-th request that matches (1-based); 0 fires on every one.
    int occurrence = 0;
    // Narrow the match to transfers of this start sector and sector count.
    std::optional<DWORD> startSector;
    std::optional<DWORD> count;

    // The DOS call returns with the carry set and AX = ax.
    static Fault Carry(Request request, DWORD ax) { return Make(request, FaultEffect::Carry, ax); }
    // The call itself fails with code (for the own driver: its status).
    static Fault FailCall(Request request, DWORD code) {
        return Make(request, FaultEffect::FailCall, code);
    }
    Fault& Occurrence(int n) {
        occurrence = n;
        return *this;
    }
    Fault& Sectors(DWORD start, DWORD sectorCount) {
        startSector = start;
        count = sectorCount;
        return *this;
    }

  private:
    static Fault Make(Request request, FaultEffect effect, DWORD value) {
        Fault f;
        f.request = request;
        f.effect = effect;
        f.value = value;
        return f;
    }
};

class FaultPlan {
  public:
    // Returns an id for Hits().
    int Add(const Fault& fault);
    void Clear();
    // The fault that takes this request, if any; counts the request against every fault it
    // matches. start and count are ignored by faults that do not name them.
    std::optional<Fault> Take(Request request, DWORD start, DWORD count);
    // How often the fault with this id fired.
    int Hits(int id) const;

  private:
    struct Entry {
        Fault fault;
        int seen = 0;
        int hits = 0;
    };
    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries;
};

}  // namespace emulation
