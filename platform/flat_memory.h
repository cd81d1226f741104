// A small 32-bit flat address space. The Windows 95 disk services take 32-bit flat addresses
// of the caller's buffers inside their request blocks; this 64-bit process maps a buffer for
// the length of one call and passes the address that stands for it. Fixed slots: nothing is
// allocated per call.
#pragma once

#include <cstddef>

#include "platform/win_types.h"

namespace platform {

class FlatMapping {
  public:
    // Maps length bytes at memory; address() is 0 when every slot is taken.
    FlatMapping(void* memory, size_t length);
    ~FlatMapping();
    FlatMapping(const FlatMapping&) = delete;
    FlatMapping& operator=(const FlatMapping&) = delete;

    DWORD address() const { return m_address; }

  private:
    int m_slot = -1;
    DWORD m_address = 0;
};

// The memory behind [address, address + length), or nullptr when that range is not mapped.
void* ResolveFlatAddress(DWORD address, size_t length);

}  // namespace platform
