// Icons at the size a window's monitor wants: the application's icon for the title bar and
// task switcher, and the animation's frames, reloaded when the window moves to a monitor of
// another DPI (the manifest declares the program per-monitor aware).
#pragma once

#include <array>

#include "platform/win_types.h"

namespace app {

// The window's DPI: its monitor's under per-monitor awareness (Windows 10 1607 on), else the
// system's.
UINT WindowDpi(HWND window);
// A system metric at a DPI, as GetSystemMetricsForDpi gives it where the system has it.
int MetricForDpi(int index, UINT dpi);
// An icon of the program's resources at a size in pixels; null when it is missing. The caller
// destroys it.
HICON LoadIconAtSize(int iconId, int width, int height);

// The application icon in the two sizes a window shows.
class WindowIcons {
  public:
    WindowIcons() = default;
    ~WindowIcons();
    WindowIcons(const WindowIcons&) = delete;
    WindowIcons& operator=(const WindowIcons&) = delete;

    // Loads them for the window's DPI and gives them to it (WM_SETICON, big and small).
    void Apply(HWND window, int iconId);
    HICON Big() const { return m_big; }

  private:
    void Free();
    HICON m_big = nullptr;
    HICON m_small = nullptr;
};

// The sixteen animation frames, 64x16 at 96 DPI, scaled to the window's DPI.
class AnimationFrames {
  public:
    static constexpr int kCount = 16;
    AnimationFrames() = default;
    ~AnimationFrames();
    AnimationFrames(const AnimationFrames&) = delete;
    AnimationFrames& operator=(const AnimationFrames&) = delete;

    // Loads the frames for a DPI. The set loaded before stays alive until the next load, as
    // the control may show one of it until it is given a new frame.
    void Load(UINT dpi);
    // The frame with this icon id (146 to 151, 159 to 168), or null.
    HICON Frame(int iconId) const;

  private:
    using Set = std::array<HICON, kCount>;
    static void Free(Set& set);
    Set m_frames{};
    Set m_previous{};
};

}  // namespace app
