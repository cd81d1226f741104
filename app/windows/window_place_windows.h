// Where the dialogs appear. The templates carry no DS_CENTER, and a top-level dialog at (0, 0)
// would open in the screen's corner: the main dialog goes to the middle of its monitor's work
// area, the About box to the middle of its owner, as the Qt face's dialogs do.
#pragma once

#include "platform/win_types.h"

namespace app {

// Centres window over owner, or over the work area of its monitor when owner is null, and keeps
// it inside that work area.
void CenterWindow(HWND window, HWND owner);

}  // namespace app
