// One count shared by every emulated service, so that a test can tell in which order requests
// reached VWIN32 and the own driver, and where opening a device fell between them.
#pragma once

namespace emulation {

// The next number of the count: 1, 2, 3, ... over the whole process.
unsigned NextSequence();

}  // namespace emulation
