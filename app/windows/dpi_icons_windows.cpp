#include "app/windows/dpi_icons_windows.h"

namespace app {
namespace {

// Both calls came with Windows 10 1607; the program also runs on older systems, so they are
// looked up rather than linked.
template <typename Function>
Function User32Function(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32
               ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name)))
               : nullptr;
}

int FrameIndex(int iconId) {
    if (iconId >= 146 && iconId <= 151) return iconId - 146;
    if (iconId >= 159 && iconId <= 168) return iconId - 159 + 6;
    return -1;
}

int FrameId(int index) {
    return index < 6 ? 146 + index : 159 + (index - 6);
}

}  // namespace

UINT WindowDpi(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow && window) {
        UINT dpi = getDpiForWindow(window);
        if (dpi != 0) return dpi;
    }
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

int MetricForDpi(int index, UINT dpi) {
    using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
    static const auto forDpi = User32Function<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
    if (forDpi) return forDpi(index, dpi);
    return GetSystemMetrics(index);
}

HICON LoadIconAtSize(int iconId, int width, int height) {
    // LoadImageW picks the group's best image for the size and scales it; LR_SHARED is left
    // out so that every size is a handle of its own, destroyed by its owner.
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(iconId),
                                         IMAGE_ICON, width, height, LR_DEFAULTCOLOR));
}

WindowIcons::~WindowIcons() {
    Free();
}

void WindowIcons::Free() {
    if (m_big) DestroyIcon(m_big);
    if (m_small) DestroyIcon(m_small);
    m_big = m_small = nullptr;
}

void WindowIcons::Apply(HWND window, int iconId) {
    const UINT dpi = WindowDpi(window);
    HICON big = LoadIconAtSize(iconId, MetricForDpi(SM_CXICON, dpi), MetricForDpi(SM_CYICON, dpi));
    HICON small =
        LoadIconAtSize(iconId, MetricForDpi(SM_CXSMICON, dpi), MetricForDpi(SM_CYSMICON, dpi));
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    // The window no longer shows the old ones.
    Free();
    m_big = big;
    m_small = small;
}

AnimationFrames::~AnimationFrames() {
    Free(m_frames);
    Free(m_previous);
}

void AnimationFrames::Free(Set& set) {
    for (HICON& icon : set) {
        if (icon) DestroyIcon(icon);
        icon = nullptr;
    }
}

void AnimationFrames::Load(UINT dpi) {
    Free(m_previous);
    m_previous = m_frames;
    const int width = MulDiv(64, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
    const int height = MulDiv(16, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
    for (int i = 0; i < kCount; ++i) m_frames[i] = LoadIconAtSize(FrameId(i), width, height);
}

HICON AnimationFrames::Frame(int iconId) const {
    const int index = FrameIndex(iconId);
    return index < 0 ? nullptr : m_frames[static_cast<size_t>(index)];
}

}  // namespace app
