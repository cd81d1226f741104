// GetPrivateProfileStringA and the rest are the system's.
#pragma once

#include "platform/win_types.h"
