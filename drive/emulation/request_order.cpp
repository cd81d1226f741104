#include "drive/emulation/request_order.h"

#include <atomic>

namespace emulation {

unsigned NextSequence() {
    static std::atomic<unsigned> counter{0};
    return ++counter;
}

}  // namespace emulation
