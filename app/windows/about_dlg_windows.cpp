#include "app/windows/about_dlg_windows.h"

#include <string>

#include "app/resource_ids.h"
#include "app/windows/window_place_windows.h"
#include "platform/windows/wide_path.h"

#ifndef TAVREL_VERSION
#define TAVREL_VERSION "1.0"
#endif

namespace app {
namespace {

// The template's text says where the version goes ("Tavrel Version %s").
void FillInVersion(HWND dialog) {
    HWND label = GetDlgItem(dialog, IDC_VERSION);
    if (!label) return;
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(label)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(label, text.data(), static_cast<int>(text.size()))));
    const size_t at = text.find(L"%s");
    if (at == std::wstring::npos) return;
    text.replace(at, 2, platform::Widen(TAVREL_VERSION));
    SetWindowTextW(label, text.c_str());
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            app::CenterWindow(dialog, GetWindow(dialog, GW_OWNER));
            FillInVersion(dialog);
            return TRUE;  // the focus goes to OK, the first control that takes it
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

void ShowAboutDialog(HINSTANCE instance, HWND owner) {
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ABOUTBOX), owner, AboutProc, 0);
}

}  // namespace app
