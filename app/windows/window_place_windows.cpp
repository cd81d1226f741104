#include "app/windows/window_place_windows.h"

#include <algorithm>

namespace app {

void CenterWindow(HWND window, HWND owner) {
    RECT own;
    if (!GetWindowRect(window, &own)) return;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(owner ? owner : window, MONITOR_DEFAULTTOPRIMARY),
                         &monitor))
        return;
    const RECT work = monitor.rcWork;
    RECT around = work;
    if (owner && !IsIconic(owner)) GetWindowRect(owner, &around);
    const LONG width = own.right - own.left, height = own.bottom - own.top;
    LONG x = around.left + (around.right - around.left - width) / 2;
    LONG y = around.top + (around.bottom - around.top - height) / 2;
    x = std::max(work.left, std::min(x, work.right - width));
    y = std::max(work.top, std::min(y, work.bottom - height));
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace app
