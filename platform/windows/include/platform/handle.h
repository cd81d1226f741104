// CloseHandle is the system's; UniqueHandle is the one owner of a handle.
#pragma once

#include "platform/unique_handle.h"
