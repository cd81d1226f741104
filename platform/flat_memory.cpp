#include "platform/flat_memory.h"

#include <mutex>

namespace platform {
namespace {

constexpr int kSlots = 32;
constexpr DWORD kBase = 0x00400000u;
constexpr DWORD kSlotSpan = 0x00100000u;  // 1 MiB of address space per slot

struct Slot {
    char* memory = nullptr;
    size_t length = 0;
};

std::mutex g_mutex;
Slot g_slots[kSlots];

}  // namespace

FlatMapping::FlatMapping(void* memory, size_t length) {
    if (!memory || length > kSlotSpan) return;
    std::lock_guard lock(g_mutex);
    for (int i = 0; i < kSlots; ++i) {
        if (!g_slots[i].memory) {
            g_slots[i] = {static_cast<char*>(memory), length};
            m_slot = i;
            m_address = kBase + static_cast<DWORD>(i) * kSlotSpan;
            return;
        }
    }
}

FlatMapping::~FlatMapping() {
    if (m_slot < 0) return;
    std::lock_guard lock(g_mutex);
    g_slots[m_slot] = {};
}

void* ResolveFlatAddress(DWORD address, size_t length) {
    if (address < kBase) return nullptr;
    DWORD index = (address - kBase) / kSlotSpan;
    if (index >= static_cast<DWORD>(kSlots)) return nullptr;
    size_t offset = (address - kBase) % kSlotSpan;
    std::lock_guard lock(g_mutex);
    const Slot& s = g_slots[index];
    if (!s.memory || offset > s.length || length > s.length - offset) return nullptr;
    return s.memory + offset;
}

}  // namespace platform
