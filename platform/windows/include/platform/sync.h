// Events, threads and waits are the system's.
#pragma once

#include "platform/win_types.h"

using ThreadProc = LPTHREAD_START_ROUTINE;
