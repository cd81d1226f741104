#include "drive/emulation/fault_plan.h"

namespace emulation {

int FaultPlan::Add(const Fault& fault) {
    std::lock_guard lock(m_mutex);
    m_entries.push_back({fault});
    return static_cast<int>(m_entries.size()) - 1;
}

void FaultPlan::Clear() {
    std::lock_guard lock(m_mutex);
    m_entries.clear();
}

std::optional<Fault> FaultPlan::Take(Request request, DWORD start, DWORD count) {
    std::lock_guard lock(m_mutex);
    std::optional<Fault> taken;
    for (Entry& e : m_entries) {
        const Fault& f = e.fault;
        if (f.request != request) continue;
        if (f.startSector && *f.startSector != start) continue;
        if (f.count && *f.count != count) continue;
        ++e.seen;
        // Every matching fault counts the request, so occurrences stay independent of order.
        if (!taken && (f.occurrence == 0 || f.occurrence == e.seen)) {
            ++e.hits;
            taken = f;
        }
    }
    return taken;
}

int FaultPlan::Hits(int id) const {
    std::lock_guard lock(m_mutex);
    if (id < 0 || id >= static_cast<int>(m_entries.size())) return 0;
    return m_entries[static_cast<size_t>(id)].hits;
}

}  // namespace emulation
