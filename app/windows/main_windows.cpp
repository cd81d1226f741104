// tavrel.exe: the dialog program on Windows. The system shows no error boxes of its own over
// the job's, the common controls are registered, and the command line is taken wide.
#include <string>
#include <vector>

#include "app/app.h"
#include "app/windows/command_line_text_windows.h"
#include "app/windows/main_dlg_windows.h"
#include "platform/format_message.h"
#include "platform/windows/wide_path.h"
// after windows.h, whose types they use
#include <commctrl.h>
#include <shellapi.h>

namespace {

class WinTavrelApp final : public CTavrelApp {
  public:
    explicit WinTavrelApp(HINSTANCE instance) : m_instance(instance) {}

  protected:
    void ShowText(const std::string& text) override { ShowCommandLineText(text, "Tavrel"); }

    void ShowRefusal(const std::string& text, const std::string& caption) override {
        MessageBoxW(nullptr, platform::Widen(text).c_str(), platform::Widen(caption).c_str(),
                    MB_OK | MB_ICONERROR);
    }

    JobResult RunMainDialog(const CTavrelCommandLineInfo& cmdInfo) override {
        WinMainDlg dlg(m_instance);
        dlg.m_pCmdInfo = &cmdInfo;
        if (dlg.DoModal() == -1) {
            // A program without its dialog template (or out of resources) would otherwise end
            // at once, silently and with success.
            const DWORD code = GetLastError();
            std::string reason;
            platform::SystemErrorText(code, &reason);
            ShowRefusal("  The dialog could not be created: " + reason + " ", "Tavrel");
            return JobFailed;
        }
        return dlg.m_lastJobResult;
    }

  private:
    HINSTANCE m_instance;
};

// The program's arguments as UTF-8, its own path first. The wide command line is whole in any
// code page.
std::vector<std::string> Arguments() {
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return {"tavrel"};
    for (int i = 0; i < count; ++i) arguments.push_back(platform::Narrow(wide[i]));
    LocalFree(wide);
    return arguments;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // An empty drive or a write-protected diskette would otherwise raise the system's own
    // "No Disk" boxes from the job's thread, on top of the job's message; the call then fails
    // with its code instead. Set for the process at start, as the documentation advises.
    SetErrorMode(GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);

    WinTavrelApp theApp(instance);
    theApp.InitInstance(Arguments());
    return theApp.ExitInstance();
}
