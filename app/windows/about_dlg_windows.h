// The About box on Windows: the template IDD_ABOUTBOX with the program's version filled in.
#pragma once

#include "platform/win_types.h"

namespace app {

// Modal over owner; OK, Escape or the close box end it.
void ShowAboutDialog(HINSTANCE instance, HWND owner);

}  // namespace app
