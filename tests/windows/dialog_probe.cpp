// Run beside tavrel.exe in the same Wine prefix and desktop by wine_dialog_test.sh: finds a
// top-level window and reads or works it the way a user or a screen reader would, from outside
// the program. One command a run, its answer on standard output as tab-separated UTF-8 lines.
//
//   tavrel-dialog-probe COMMAND [--caption TEXT] [--class NAME] [--has ID] [--lacks ID]
//                       [--timeout SECONDS] [--dlu W H] [ARG]
//   list                 every top-level window: handle, class, caption, visible, owner
//   wait                 waits for the window (the default timeout is 30 s)
//   gone                 waits until no such window is left
//   dump                 the window's controls, positions in dialog units
//   msgbox               a message box: its text, its icon, its buttons
//   click ID             presses the button ID (BM_CLICK, posted: a modal box it opens does
//                        not hold the probe)
//   key KEY              a real key press (SendInput) once the window is the foreground one;
//                        KEY is return, escape, space, tab, up, down, end, alt+space, a letter
//                        or a virtual-key number
//   syscommand CMD       posts WM_SYSCOMMAND CMD (16 opens the About box)
//   sysmenu              the system menu's items (id and text), where the system lets another
//                        process read them
//   shot FILE.png        the window as the screen shows it
//
// Exit codes: 0 done, 1 no such window by the deadline (or still there, for gone), 2 usage,
// 4 the system would not do it.
#include <windows.h>
// after windows.h
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/windows/probe_png.h"

namespace {

struct Selector {
    std::wstring caption;
    bool anyCaption = true;
    std::wstring className;
    std::vector<int> has, lacks;
};

void Out(const std::wstring& line) {
    std::wstring text = line + L"\n";
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), n,
                        nullptr, nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()),
              &written, nullptr);
}

void Err(const std::wstring& line) {
    fwprintf(stderr, L"tavrel-dialog-probe: %ls\n", line.c_str());
}

// Tabs and line breaks in a text would break the lines' columns.
std::wstring Escaped(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\t')
            out += L"\\t";
        else if (c == L'\n')
            out += L"\\n";
        else if (c == L'\r')
            out += L"\\r";
        else if (c == L'\\')
            out += L"\\\\";
        else
            out += c;
    }
    return out;
}

std::wstring ClassOf(HWND h) {
    wchar_t name[256] = {};
    GetClassNameW(h, name, 256);
    return name;
}

// WM_GETTEXT reaches another process's window where GetWindowText would not read a control's.
std::wstring TextOf(HWND h) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
        return L"";
    std::wstring text(length + 1, L'\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutW(h, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 5000, &got);
    text.resize(got);
    return text;
}

bool Matches(HWND h, const Selector& s) {
    if (!IsWindowVisible(h)) return false;
    if (!s.anyCaption && TextOf(h) != s.caption) return false;
    if (!s.className.empty() && ClassOf(h) != s.className) return false;
    for (int id : s.has)
        if (!GetDlgItem(h, id)) return false;
    for (int id : s.lacks)
        if (GetDlgItem(h, id)) return false;
    return true;
}

// The newest match: EnumWindows goes from the top of the z-order down, and a box is above its
// owner.
HWND Find(const Selector& s) {
    struct Search {
        const Selector* s;
        HWND found;
    } search{&s, nullptr};
    EnumWindows(
        [](HWND h, LPARAM p) -> BOOL {
            auto* search = reinterpret_cast<Search*>(p);
            if (!Matches(h, *search->s)) return TRUE;
            search->found = h;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitFor(const Selector& s, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (HWND h = Find(s)) return h;
        if (GetTickCount64() >= deadline) return nullptr;
        Sleep(50);
    }
}

std::wstring Hex(unsigned long v) {
    wchar_t buf[16];
    swprintf(buf, 16, L"0x%08lX", v);
    return buf;
}

// What the resource script calls the control, from its class and style.
std::wstring KindOf(HWND h) {
    const std::wstring cls = ClassOf(h);
    const LONG style = GetWindowLongW(h, GWL_STYLE);
    if (!lstrcmpiW(cls.c_str(), L"Button")) {
        switch (style & BS_TYPEMASK) {
            case BS_DEFPUSHBUTTON:
                return L"defpushbutton";
            case BS_PUSHBUTTON:
                return L"pushbutton";
            case BS_CHECKBOX:
            case BS_AUTOCHECKBOX:
                return L"check";
            case BS_RADIOBUTTON:
            case BS_AUTORADIOBUTTON:
                return L"radio";
            case BS_GROUPBOX:
                return L"groupbox";
            default:
                return L"button";
        }
    }
    if (!lstrcmpiW(cls.c_str(), L"Static")) {
        switch (style & SS_TYPEMASK) {
            case SS_ICON:
                return L"icon";
            case SS_BITMAP:
                return L"bitmap";
            case SS_LEFT:
                return L"ltext";
            case SS_CENTER:
                return L"ctext";
            case SS_RIGHT:
                return L"rtext";
            default:
                return L"static";
        }
    }
    if (!lstrcmpiW(cls.c_str(), L"ComboBox")) return L"combo";
    if (!lstrcmpiW(cls.c_str(), L"msctls_progress32")) return L"progress";
    if (!lstrcmpiW(cls.c_str(), L"Edit")) return L"edit";
    return L"other";
}

// Whether a picture static shows a picture: the handle it answers with, not the handle itself,
// which means nothing in this process.
std::wstring ImageOf(HWND h) {
    const LONG type = GetWindowLongW(h, GWL_STYLE) & SS_TYPEMASK;
    if (ClassOf(h) != L"Static" || (type != SS_ICON && type != SS_BITMAP)) return L"-";
    DWORD_PTR image = 0;
    SendMessageTimeoutW(h, STM_GETIMAGE, type == SS_ICON ? IMAGE_ICON : IMAGE_BITMAP, 0,
                        SMTO_ABORTIFHUNG, 5000, &image);
    if (!image && type == SS_ICON)
        SendMessageTimeoutW(h, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 5000, &image);
    return image ? (type == SS_ICON ? L"icon" : L"bitmap") : L"none";
}

// Pixels per 4 horizontal and 8 vertical dialog units. MapDialogRect of a known rect where the
// system lets this process map another's dialog; else the dialog's client area against its
// template size (--dlu), which the system made with the same mapping.
bool DialogScale(HWND dlg, int dluW, int dluH, double* xPer4, double* yPer8, std::wstring* how) {
    RECT known = {0, 0, 400, 800};
    if (MapDialogRect(dlg, &known) && known.right > 0 && known.bottom > 0) {
        *xPer4 = known.right / 100.0;
        *yPer8 = known.bottom / 100.0;
        *how = L"MapDialogRect";
        return true;
    }
    RECT client;
    if (dluW <= 0 || dluH <= 0 || !GetClientRect(dlg, &client)) return false;
    *xPer4 = client.right * 4.0 / dluW;
    *yPer8 = client.bottom * 8.0 / dluH;
    *how = L"client-size";
    return true;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> out;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) out.push_back(c);
    return out;
}

int Dump(HWND dlg, int dluW, int dluH) {
    double xPer4 = 0, yPer8 = 0;
    std::wstring how;
    if (!DialogScale(dlg, dluW, dluH, &xPer4, &yPer8, &how)) {
        Err(L"cannot map dialog units here: give the template's size with --dlu W H");
        return 4;
    }
    RECT client;
    GetClientRect(dlg, &client);
    wchar_t line[512];
    swprintf(line, 512, L"dialog\t%ls\t%ls\t%ls\t%.0f\t%.0f\t%ls", ClassOf(dlg).c_str(),
             Escaped(TextOf(dlg)).c_str(),
             Hex(static_cast<unsigned long>(GetWindowLongW(dlg, GWL_STYLE))).c_str(),
             client.right * 4 / xPer4, client.bottom * 8 / yPer8, how.c_str());
    Out(line);
    Out(L"#id\tkind\tclass\ttext\tstyle\tenabled\tvisible\tx\ty\tw\th\timage");
    for (HWND c : Children(dlg)) {
        RECT r;
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&r), 2);
        auto dx = [&](long px) { return static_cast<long>(px * 4 / xPer4 + 0.5); };
        auto dy = [&](long px) { return static_cast<long>(px * 8 / yPer8 + 0.5); };
        swprintf(line, 512, L"%d\t%ls\t%ls\t", GetDlgCtrlID(c), KindOf(c).c_str(),
                 ClassOf(c).c_str());
        // A picture static's text is its resource's number (0xFFFF, then the number), no text.
        std::wstring text = TextOf(c);
        if (!text.empty() && text[0] == 0xFFFF) text.clear();
        std::wstring row = line + Escaped(text);
        swprintf(line, 512, L"\t%ls\t%d\t%d\t%ld\t%ld\t%ld\t%ld\t%ls",
                 Hex(static_cast<unsigned long>(GetWindowLongW(c, GWL_STYLE))).c_str(),
                 IsWindowEnabled(c) ? 1 : 0, (GetWindowLongW(c, GWL_STYLE) & WS_VISIBLE) ? 1 : 0,
                 dx(r.left), dy(r.top), dx(r.right - r.left), dy(r.bottom - r.top),
                 ImageOf(c).c_str());
        Out(row + line);
    }
    return 0;
}

// The screen's pixels of a rectangle, three bytes a pixel (RGB), top row first.
std::vector<uint8_t> Capture(HDC source, int x, int y, int w, int h) {
    HDC mem = CreateCompatibleDC(source);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;  // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::vector<uint8_t> rgb;
    if (dib) {
        HGDIOBJ old = SelectObject(mem, dib);
        if (BitBlt(mem, 0, 0, w, h, source, x, y, SRCCOPY | CAPTUREBLT)) {
            GdiFlush();
            const auto* p = static_cast<const uint8_t*>(bits);
            rgb.reserve(static_cast<size_t>(w) * h * 3);
            for (int i = 0; i < w * h; ++i) {
                rgb.push_back(p[i * 4 + 2]);
                rgb.push_back(p[i * 4 + 1]);
                rgb.push_back(p[i * 4]);
            }
        }
        SelectObject(mem, old);
        DeleteObject(dib);
    }
    DeleteDC(mem);
    return rgb;
}

// Brings the window to the front; another process may not take the foreground at will, and
// an Alt press (as a user's) lifts that lock, which Microsoft documents for SetForegroundWindow.
bool ToFront(HWND h) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        SetForegroundWindow(h);
        const ULONGLONG deadline = GetTickCount64() + 3000;
        while (GetTickCount64() < deadline) {
            if (GetForegroundWindow() == h) return true;
            Sleep(20);
        }
        INPUT alt[2] = {};
        alt[0].type = alt[1].type = INPUT_KEYBOARD;
        alt[0].ki.wVk = alt[1].ki.wVk = VK_MENU;
        alt[1].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(2, alt, sizeof(INPUT));
    }
    return false;
}

int Shot(HWND h, const std::wstring& path) {
    ToFront(h);
    // The window paints what it was told to before the picture is taken.
    RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    DWORD_PTR ignored;
    SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    RECT r;
    GetWindowRect(h, &r);
    const int w = r.right - r.left, hgt = r.bottom - r.top;
    // The window's own thread paints in its own time, a box's text a moment after its frame:
    // the picture is taken once two looks in a row see the same pixels, or after a second at
    // most, for a window that keeps changing (a running job).
    std::vector<uint8_t> rgb, previous;
    const ULONGLONG deadline = GetTickCount64() + 1000;
    do {
        previous = std::move(rgb);
        Sleep(100);
        HDC screen = GetDC(nullptr);
        rgb = Capture(screen, r.left, r.top, w, hgt);
        ReleaseDC(nullptr, screen);
    } while (rgb != previous && GetTickCount64() < deadline);
    if (rgb.empty() || !WritePng(path, w, hgt, rgb)) {
        Err(L"cannot capture the window into " + path);
        return 4;
    }
    wchar_t line[64];
    swprintf(line, 64, L"shot\t%d\t%d", w, hgt);
    Out(line);
    return 0;
}

// Which system icon a message box shows. The handle, where the system shares it between
// processes (Windows does for LoadIcon(NULL, ...)); else the pixels on the screen against each
// system icon drawn on the box's background.
std::wstring IconKind(HWND icon) {
    struct Candidate {
        const wchar_t* name;
        LPCWSTR id;
    };
    // IDI_ERROR, IDI_INFORMATION, IDI_WARNING and IDI_QUESTION, which the headers give only
    // as narrow names.
    const Candidate candidates[] = {{L"error", MAKEINTRESOURCEW(32513)},
                                    {L"information", MAKEINTRESOURCEW(32516)},
                                    {L"warning", MAKEINTRESOURCEW(32515)},
                                    {L"question", MAKEINTRESOURCEW(32514)}};
    DWORD_PTR shown = 0;
    SendMessageTimeoutW(icon, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 5000, &shown);
    if (!shown) return L"none";
    for (const Candidate& c : candidates)
        if (reinterpret_cast<HICON>(shown) == LoadIconW(nullptr, c.id)) return c.name;

    RECT r;
    GetClientRect(icon, &r);
    POINT origin = {0, 0};
    ClientToScreen(icon, &origin);
    const int w = r.right, h = r.bottom;
    HDC screen = GetDC(nullptr);
    const std::vector<uint8_t> onScreen = Capture(screen, origin.x, origin.y, w, h);
    ReleaseDC(nullptr, screen);
    if (onScreen.empty()) return L"unknown";
    const COLORREF background = RGB(onScreen[0], onScreen[1], onScreen[2]);
    std::wstring best = L"unknown";
    size_t bestDiff = static_cast<size_t>(w) * h / 10 + 1;  // a tenth of the pixels at most
    for (const Candidate& c : candidates) {
        HDC screenDc = GetDC(nullptr);
        HDC mem = CreateCompatibleDC(screenDc);
        HBITMAP bmp = CreateCompatibleBitmap(screenDc, w, h);
        HGDIOBJ old = SelectObject(mem, bmp);
        HBRUSH brush = CreateSolidBrush(background);
        RECT all = {0, 0, w, h};
        FillRect(mem, &all, brush);
        DrawIconEx(mem, 0, 0, LoadIconW(nullptr, c.id), 0, 0, 0, nullptr, DI_NORMAL);
        const std::vector<uint8_t> drawn = Capture(mem, 0, 0, w, h);
        SelectObject(mem, old);
        DeleteObject(brush);
        DeleteObject(bmp);
        DeleteDC(mem);
        ReleaseDC(nullptr, screenDc);
        size_t diff = 0;
        for (size_t i = 0; i + 2 < drawn.size() && i + 2 < onScreen.size(); i += 3)
            diff += drawn[i] != onScreen[i] || drawn[i + 1] != onScreen[i + 1] ||
                    drawn[i + 2] != onScreen[i + 2];
        if (diff < bestDiff) {
            bestDiff = diff;
            best = c.name;
        }
    }
    return best;
}

int MessageBoxInfo(HWND box) {
    Out(L"caption\t" + Escaped(TextOf(box)));
    std::wstring icon = L"none";
    for (HWND c : Children(box)) {
        const std::wstring cls = ClassOf(c);
        const LONG style = GetWindowLongW(c, GWL_STYLE);
        if (cls == L"Static" && (style & SS_TYPEMASK) == SS_ICON)
            icon = IconKind(c);
        else if (cls == L"Static" && (GetDlgCtrlID(c) & 0xFFFF) == 0xFFFF)
            Out(L"text\t" + Escaped(TextOf(c)));
    }
    Out(L"icon\t" + icon);
    for (HWND c : Children(box))
        if (!lstrcmpiW(ClassOf(c).c_str(), L"Button") &&
            (GetWindowLongW(c, GWL_STYLE) & WS_VISIBLE))
            Out(L"button\t" + std::to_wstring(GetDlgCtrlID(c)) + L"\t" + Escaped(TextOf(c)));
    return 0;
}

int Click(HWND dlg, int id) {
    HWND button = GetDlgItem(dlg, id);
    if (!button) {
        Err(L"no control " + std::to_wstring(id));
        return 1;
    }
    // Microsoft: BM_CLICK may fail in a dialog that is not active.
    ToFront(dlg);
    return PostMessageW(button, BM_CLICK, 0, 0) ? 0 : 4;
}

bool KeyCode(const std::wstring& name, WORD* vk, bool* alt) {
    *alt = false;
    std::wstring key = name;
    if (key.rfind(L"alt+", 0) == 0) {
        *alt = true;
        key = key.substr(4);
    }
    const struct {
        const wchar_t* name;
        WORD vk;
    } names[] = {{L"return", VK_RETURN}, {L"escape", VK_ESCAPE}, {L"space", VK_SPACE},
                 {L"tab", VK_TAB},       {L"up", VK_UP},         {L"down", VK_DOWN},
                 {L"end", VK_END},       {L"home", VK_HOME}};
    for (const auto& n : names)
        if (key == n.name) return *vk = n.vk, true;
    if (key.size() == 1 && iswalnum(key[0])) return *vk = static_cast<WORD>(towupper(key[0])), true;
    wchar_t* end = nullptr;
    const unsigned long number = wcstoul(key.c_str(), &end, 0);
    if (key.empty() || *end || number == 0 || number > 0xFE) return false;
    *vk = static_cast<WORD>(number);
    return true;
}

int Key(HWND h, const std::wstring& name) {
    WORD vk = 0;
    bool alt = false;
    if (!KeyCode(name, &vk, &alt)) {
        Err(L"unknown key " + name);
        return 2;
    }
    // A key goes to the foreground window: it must be the one meant, or a user's key would go
    // elsewhere too.
    if (!ToFront(h)) {
        Err(L"the window did not come to the foreground; the key was not pressed");
        return 4;
    }
    std::vector<INPUT> in;
    auto push = [&](WORD code, bool up) {
        INPUT i = {};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = code;
        i.ki.wScan = static_cast<WORD>(MapVirtualKeyW(code, MAPVK_VK_TO_VSC));
        i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        in.push_back(i);
    };
    if (alt) push(VK_MENU, false);
    push(vk, false);
    push(vk, true);
    if (alt) push(VK_MENU, true);
    if (SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT)) != in.size()) {
        Err(L"SendInput refused the key");
        return 4;
    }
    Out(L"key\t" + name);
    return 0;
}

int SystemMenu(HWND h) {
    HMENU menu = GetSystemMenu(h, FALSE);
    const int count = menu ? GetMenuItemCount(menu) : -1;
    if (count <= 0) {
        Err(L"the system does not let this process read the window's system menu");
        return 4;
    }
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        GetMenuStringW(menu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
        const UINT id = GetMenuItemID(menu, i);
        Out(std::to_wstring(static_cast<int>(id)) + L"\t" + Escaped(text));
    }
    return 0;
}

void ListWindows() {
    EnumWindows(
        [](HWND h, LPARAM) -> BOOL {
            DWORD pid = 0;
            GetWindowThreadProcessId(h, &pid);
            wchar_t line[128];
            swprintf(line, 128, L"%p\t%lu\t%d\t%p\t", static_cast<void*>(h),
                     static_cast<unsigned long>(pid), IsWindowVisible(h) ? 1 : 0,
                     static_cast<void*>(GetWindow(h, GW_OWNER)));
            Out(line + ClassOf(h) + L"\t" + Escaped(TextOf(h)));
            return TRUE;
        },
        0);
}

int Usage() {
    Err(L"usage: COMMAND [--caption TEXT] [--class NAME] [--has ID] [--lacks ID] "
        L"[--timeout SECONDS] [--dlu W H] [ARG]; commands: list wait gone dump msgbox click key "
        L"syscommand sysmenu shot");
    return 2;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 2) return Usage();
    const std::wstring command = argv[1];
    Selector s;
    DWORD timeoutMs = 30000;
    int dluW = 0, dluH = 0;
    std::vector<std::wstring> args;
    for (int i = 2; i < argc; ++i) {
        const std::wstring a = argv[i];
        const bool more = i + 1 < argc;
        if (a == L"--caption" && more)
            s.caption = argv[++i], s.anyCaption = false;
        else if (a == L"--class" && more)
            s.className = argv[++i];
        else if (a == L"--has" && more)
            s.has.push_back(_wtoi(argv[++i]));
        else if (a == L"--lacks" && more)
            s.lacks.push_back(_wtoi(argv[++i]));
        else if (a == L"--timeout" && more)
            timeoutMs = static_cast<DWORD>(_wtof(argv[++i]) * 1000);
        else if (a == L"--dlu" && i + 2 < argc)
            dluW = _wtoi(argv[++i]), dluH = _wtoi(argv[++i]);
        else
            args.push_back(a);
    }
    if (command == L"list") return ListWindows(), 0;
    if (command == L"gone") {
        const ULONGLONG deadline = GetTickCount64() + timeoutMs;
        while (Find(s)) {
            if (GetTickCount64() >= deadline) return 1;
            Sleep(50);
        }
        return 0;
    }
    HWND h = WaitFor(s, timeoutMs);
    if (!h) {
        Err(L"no window \"" + s.caption + L"\" of class \"" + s.className + L"\" in time");
        return 1;
    }
    if (command == L"wait") {
        wchar_t line[64];
        swprintf(line, 64, L"%p", static_cast<void*>(h));
        Out(line);
        return 0;
    }
    if (command == L"dump") return Dump(h, dluW, dluH);
    if (command == L"msgbox") return MessageBoxInfo(h);
    if (command == L"sysmenu") return SystemMenu(h);
    if (args.size() != 1) return Usage();
    if (command == L"click") return Click(h, _wtoi(args[0].c_str()));
    if (command == L"key") return Key(h, args[0]);
    if (command == L"syscommand")
        return PostMessageW(h, WM_SYSCOMMAND, _wtoi(args[0].c_str()), 0) ? 0 : 4;
    if (command == L"shot") return Shot(h, args[0]);
    return Usage();
}
