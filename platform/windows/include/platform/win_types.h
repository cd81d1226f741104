// On Windows the interface the engine is written against is the system's own.
#pragma once

#include <windows.h>

#include <cstdint>

// The engine's owner is the project's own window type (see platform/window.h), not a system
// window: the console tool has none.
class Window;
