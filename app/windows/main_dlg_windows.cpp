#include "app/windows/main_dlg_windows.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "app/resource_ids.h"
#include "app/windows/about_dlg_windows.h"
#include "app/windows/window_place_windows.h"
#include "platform/windows/wide_path.h"
// after windows.h, whose types they use
#include <commctrl.h>
#include <commdlg.h>

namespace {

constexpr UINT kTimerMs = 250;
// Room for a full path at the length the wide calls take (\\?\ paths of 32,767 characters).
constexpr DWORD kPathBuffer = 32768;

std::string WindowText(HWND window) {
    if (!window) return {};
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return platform::Narrow(text);
}

}  // namespace

INT_PTR WinMainDlg::DoModal() {
    return DialogBoxParamW(m_instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK WinMainDlg::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<WinMainDlg*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        self->m_hwnd = hwnd;
        self->m_owner.Attach(hwnd);
        return self->OnInitDialogMessage();
    }
    // Messages before WM_INITDIALOG (WM_SETFONT) find no dialog yet.
    auto* self = reinterpret_cast<WinMainDlg*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    return self ? self->OnMessage(message, wParam, lParam) : FALSE;
}

BOOL WinMainDlg::OnInitDialogMessage() {
    app::CenterWindow(m_hwnd, nullptr);
    AddAboutToSystemMenu();
    m_icons.Apply(m_hwnd, IDR_MAINFRAME);
    LoadPictures();
    // The range stays the control's default, 0 to 100: twenty steps of 5.
    SendDlgItemMessageW(m_hwnd, IDC_PROGRESS, PBM_SETPOS, 0, 0);
    SendDlgItemMessageW(m_hwnd, IDC_PROGRESS, PBM_SETSTEP, 5, 0);
    m_initializing = true;
    m_focusPlaced = false;
    CMainDlg::OnInitDialog();
    m_initializing = false;
    // TRUE lets the dialog manager focus the first control, unless the logic chose one.
    return m_focusPlaced ? FALSE : TRUE;
}

void WinMainDlg::AddAboutToSystemMenu() {
    HMENU menu = GetSystemMenu(m_hwnd, FALSE);
    if (!menu) return;
    // LoadStringW with a zero length hands out a pointer to the resource's own text, which is
    // not terminated; its return value is the length.
    const wchar_t* resource = nullptr;
    const int length =
        LoadStringW(m_instance, IDS_ABOUTBOX, reinterpret_cast<LPWSTR>(&resource), 0);
    if (length > 0 && resource) {
        std::wstring text(resource, static_cast<size_t>(length));
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, text.c_str());
    }
    // A dialog of fixed size: Size and Maximize are never available.
    EnableMenuItem(menu, SC_SIZE, MF_BYCOMMAND | MF_GRAYED);
    EnableMenuItem(menu, SC_MAXIMIZE, MF_BYCOMMAND | MF_GRAYED);
}

void WinMainDlg::LoadPictures() {
    m_frames.Load(app::WindowDpi(m_hwnd));
    ShowAnimationFrame(m_frameShown ? m_frameShown : IDI_FRAME0);
}

INT_PTR WinMainDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDCANCEL) {
                OnCancel();  // the Close/Cancel button and Escape
                return TRUE;
            }
            if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDC_BROWSE) {
                OnBrowse();
                return TRUE;
            }
            OnCommand(wParam, lParam);
            return TRUE;
        case WM_CLOSE:
            OnCancel();
            return TRUE;
        case WM_TIMER:
            if (wParam != ANIMATION_TIMER_ID) return FALSE;
            OnTimer();
            return TRUE;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) != static_cast<WPARAM>(IDM_ABOUTBOX)) return FALSE;
            OnSysCommand(static_cast<UINT>(wParam));
            return TRUE;
        case WM_PAINT:
            return PaintMinimized() ? TRUE : FALSE;
        case WM_QUERYDRAGICON:
            // One of the messages whose answer a dialog procedure returns directly.
            return reinterpret_cast<INT_PTR>(m_icons.Big());
        case WM_DPICHANGED:
            // The pictures at the new monitor's size; FALSE leaves the resizing and the fonts to
            // the dialog manager.
            m_icons.Apply(m_hwnd, IDR_MAINFRAME);
            LoadPictures();
            return FALSE;
        default:
            return FALSE;
    }
}

bool WinMainDlg::PaintMinimized() {
    if (!IsIconic(m_hwnd)) return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hwnd, &paint);
    SendMessageW(m_hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    // The icon centred in the client rectangle.
    RECT client;
    GetClientRect(m_hwnd, &client);
    const UINT dpi = app::WindowDpi(m_hwnd);
    const int cx = app::MetricForDpi(SM_CXICON, dpi), cy = app::MetricForDpi(SM_CYICON, dpi);
    DrawIconEx(dc, (client.right - client.left - cx + 1) / 2,
               (client.bottom - client.top - cy + 1) / 2, m_icons.Big(), cx, cy, 0, nullptr,
               DI_NORMAL);
    EndPaint(m_hwnd, &paint);
    return true;
}

std::string WinMainDlg::GetItemText(int id) {
    return WindowText(Item(id));
}

void WinMainDlg::SetItemText(int id, const std::string& text) {
    SetDlgItemTextW(m_hwnd, id, platform::Widen(text).c_str());
}

bool WinMainDlg::IsChecked(int id) {
    return IsDlgButtonChecked(m_hwnd, id) == BST_CHECKED;
}

void WinMainDlg::SetChecked(int id, bool checked) {
    CheckDlgButton(m_hwnd, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void WinMainDlg::EnableItem(int id, bool enable) {
    if (HWND item = Item(id)) EnableWindow(item, enable ? TRUE : FALSE);
}

void WinMainDlg::ShowItem(int id, bool show) {
    if (HWND item = Item(id)) ShowWindow(item, show ? SW_SHOW : SW_HIDE);
}

void WinMainDlg::FocusItem(int id) {
    HWND item = Item(id);
    if (!item) return;
    // Through the dialog manager, which also moves the default button's frame; SetFocus alone
    // would not.
    SendMessageW(m_hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
    if (m_initializing) m_focusPlaced = true;
}

void WinMainDlg::LimitItemText(int id, int characters) {
    SendDlgItemMessageW(m_hwnd, id, CB_LIMITTEXT, static_cast<WPARAM>(characters), 0);
}

int WinMainDlg::ListCount(int id) {
    const LRESULT count = SendDlgItemMessageW(m_hwnd, id, CB_GETCOUNT, 0, 0);
    return count == CB_ERR ? 0 : static_cast<int>(count);
}

std::string WinMainDlg::ListText(int id, int index) {
    const LRESULT length =
        SendDlgItemMessageW(m_hwnd, id, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied = SendDlgItemMessageW(m_hwnd, id, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                               reinterpret_cast<LPARAM>(text.data()));
    if (copied == CB_ERR) return {};
    text.resize(static_cast<size_t>(copied));
    return platform::Narrow(text);
}

void WinMainDlg::ListInsert(int id, int index, const std::string& text) {
    // Index -1 (as WPARAM) appends.
    SendDlgItemMessageW(m_hwnd, id, CB_INSERTSTRING, static_cast<WPARAM>(index),
                        reinterpret_cast<LPARAM>(platform::Widen(text).c_str()));
}

void WinMainDlg::ListDelete(int id, int index) {
    SendDlgItemMessageW(m_hwnd, id, CB_DELETESTRING, static_cast<WPARAM>(index), 0);
}

void WinMainDlg::ListSelect(int id, int index) {
    SendDlgItemMessageW(m_hwnd, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void WinMainDlg::ResetProgress() {
    SendDlgItemMessageW(m_hwnd, IDC_PROGRESS, PBM_SETPOS, 0, 0);
}

void WinMainDlg::StepProgress() {
    // Past the maximum the control starts again from the bottom.
    SendDlgItemMessageW(m_hwnd, IDC_PROGRESS, PBM_STEPIT, 0, 0);
}

void WinMainDlg::ShowAnimationFrame(int iconId) {
    HICON frame = m_frames.Frame(iconId);
    if (!frame) return;
    m_frameShown = iconId;
    SendDlgItemMessageW(m_hwnd, IDC_ANIMATION, STM_SETICON, reinterpret_cast<WPARAM>(frame), 0);
}

void WinMainDlg::StartTimer() {
    SetTimer(m_hwnd, ANIMATION_TIMER_ID, kTimerMs, nullptr);
}

void WinMainDlg::StopTimer() {
    KillTimer(m_hwnd, ANIMATION_TIMER_ID);
}

int WinMainDlg::ShowBox(const std::string& text, UINT type) {
    return MessageBoxW(m_hwnd, platform::Widen(text).c_str(), L"Tavrel", type);
}

bool WinMainDlg::AskImageFile(bool save, std::string& path) {
    static constexpr wchar_t kFilter[] =
        L"Tavrel Files (*.tvl)\0*.tvl\0Image Files (*.*14)\0*.*14\0All Files (*.*)\0*.*\0";
    std::vector<wchar_t> file(kPathBuffer, L'\0');
    static constexpr wchar_t kInitial[] = L"*.tvl";
    std::copy(std::begin(kInitial), std::end(kInitial), file.begin());

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = m_hwnd;
    ofn.lpstrFilter = kFilter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = kPathBuffer;
    // The Save As form asks nothing about replacing a file: Start does.
    ofn.Flags = OFN_HIDEREADONLY | OFN_EXPLORER;
    const BOOL chosen = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    if (!chosen) return false;
    path = platform::Narrow(file.data());
    return true;
}

void WinMainDlg::ShowAboutBox() {
    app::ShowAboutDialog(m_instance, m_hwnd);
}

void WinMainDlg::EndDialog() {
    ::EndDialog(m_hwnd, IDOK);
}
