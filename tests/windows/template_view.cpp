// Run under Wine by resources_test.sh: shows one of the generated dialog templates with the
// generated resources linked in, as the dialog program will, and reports what the system made
// of it. Usage: template_view DIALOG_ID SCREENSHOT.bmp
// Prints "icon ID WxH -> WxH" for the picture a load at a size picks, "dialog STYLE EXSTYLE W H
// CAPTION" and "control ID CLASS STYLE EXSTYLE X Y W H TEXT" per control in creation order
// (sizes in dialog units), and leaves a picture of the dialog's client area in SCREENSHOT.bmp.
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr UINT kCapture = WM_APP + 1;
constexpr int kAnimation = 1019;  // IDC_ANIMATION
const wchar_t* g_screenshot = nullptr;

SIZE IconSize(HICON icon) {
    ICONINFO info{};
    BITMAP bm{};
    if (!icon || !GetIconInfo(icon, &info)) return {0, 0};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return {bm.bmWidth, info.hbmColor ? bm.bmHeight : bm.bmHeight / 2};
}

// The picture a load at WxH (0x0: the system's default size) picks from an icon group.
void ReportIcon(int id, int w, int h) {
    HICON icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id),
                                               IMAGE_ICON, w, h, w ? 0 : LR_DEFAULTSIZE));
    const SIZE got = IconSize(icon);
    std::printf("icon %d %dx%d -> %ldx%ld\n", id, w, h, got.cx, got.cy);
    if (icon) DestroyIcon(icon);
}

// Pixels back to dialog units, by what the dialog maps 1000 units to.
POINT Units(HWND dlg, LONG x, LONG y) {
    RECT k{0, 0, 1000, 1000};
    MapDialogRect(dlg, &k);
    return {(x * 1000 + k.right / 2) / k.right, (y * 1000 + k.bottom / 2) / k.bottom};
}

void Report(HWND dlg) {
    wchar_t text[256] = L"";
    RECT r{};
    GetWindowTextW(dlg, text, 256);
    GetClientRect(dlg, &r);
    POINT size = Units(dlg, r.right, r.bottom);
    std::printf("dialog 0x%08lx 0x%08lx %ld %ld %ls\n",
                static_cast<unsigned long>(GetWindowLongPtrW(dlg, GWL_STYLE)),
                static_cast<unsigned long>(GetWindowLongPtrW(dlg, GWL_EXSTYLE)), size.x, size.y,
                text);
    // The dialog's own children only, not the edit field inside a combo box.
    for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t cls[64] = L"";
        GetClassNameW(c, cls, 64);
        GetWindowTextW(c, text, 256);
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&r), 2);
        POINT at = Units(dlg, r.left, r.top),
              extent = Units(dlg, r.right - r.left, r.bottom - r.top);
        std::printf("control %d %ls 0x%08lx 0x%08lx %ld %ld %ld %ld %ls\n", GetDlgCtrlID(c), cls,
                    static_cast<unsigned long>(GetWindowLongPtrW(c, GWL_STYLE)),
                    static_cast<unsigned long>(GetWindowLongPtrW(c, GWL_EXSTYLE)), at.x, at.y,
                    extent.x, extent.y, text);
    }
}

bool WriteScreenshot(HWND dlg) {
    RECT r{};
    GetClientRect(dlg, &r);
    const int w = r.right, h = r.bottom;
    HDC window = GetDC(dlg);
    HDC memory = CreateCompatibleDC(window);
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(window, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, w, h, window, 0, 0, SRCCOPY);
    GdiFlush();
    const DWORD size = static_cast<DWORD>(((w * 3 + 3) & ~3) * h);
    BITMAPFILEHEADER fh{0x4d42, static_cast<DWORD>(sizeof fh + sizeof bi.bmiHeader + size), 0, 0,
                        static_cast<DWORD>(sizeof fh + sizeof bi.bmiHeader)};
    bool ok = false;
    if (FILE* f = _wfopen(g_screenshot, L"wb")) {
        ok = std::fwrite(&fh, sizeof fh, 1, f) == 1 &&
             std::fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, f) == 1 &&
             std::fwrite(bits, size, 1, f) == 1;
        ok = std::fclose(f) == 0 && ok;
    }
    SelectObject(memory, old);
    DeleteObject(dib);
    DeleteDC(memory);
    ReleaseDC(dlg, window);
    return ok;
}

INT_PTR CALLBACK DialogProc(HWND dlg, UINT msg, WPARAM, LPARAM) {
    switch (msg) {
        case WM_INITDIALOG: {
            // What the dialog program does with the animation: a frame at its own 64x16.
            HANDLE frame =
                LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(146), IMAGE_ICON, 64, 16, 0);
            if (HWND animation = GetDlgItem(dlg, kAnimation))
                SendMessageW(animation, STM_SETICON, reinterpret_cast<WPARAM>(frame), 0);
            SendDlgItemMessageW(dlg, 1005, PBM_SETPOS, 40, 0);
            Report(dlg);
            PostMessageW(dlg, kCapture, 0, 0);
            return TRUE;
        }
        case kCapture:
            // Shown and painted now, not when the queue gets round to it, then read back.
            ShowWindow(dlg, SW_SHOW);
            RedrawWindow(dlg, nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
            EndDialog(dlg, WriteScreenshot(dlg) ? 0 : 3);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc != 3) {
        std::fprintf(stderr, "usage: template_view DIALOG_ID SCREENSHOT.bmp\n");
        return 2;
    }
    g_screenshot = argv[2];
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    for (int id : {128, 146, 168}) {
        ReportIcon(id, 0, 0);
        ReportIcon(id, 16, 16);
    }
    for (auto [w, h] : std::vector<std::pair<int, int>>{{64, 16}, {96, 24}, {128, 32}})
        ReportIcon(146, w, h);
    ReportIcon(128, 48, 48);
    std::fflush(stdout);
    const INT_PTR result = DialogBoxParamW(
        GetModuleHandleW(nullptr), MAKEINTRESOURCEW(_wtoi(argv[1])), nullptr, DialogProc, 0);
    std::fflush(stdout);
    return result == -1 ? 4 : static_cast<int>(result);
}
