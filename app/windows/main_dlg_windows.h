// The main dialog on Windows: the template IDD_MAIN shown by the system's dialog manager, its
// controls addressed by their identifiers. What it decides is CMainDlg's; this face only maps
// the control operations to the system's calls and the system's messages to the handlers.
#pragma once

#include <string>

#include "app/main_dlg.h"
#include "app/windows/dialog_window_windows.h"
#include "app/windows/dpi_icons_windows.h"

class WinMainDlg final : public CMainDlg {
  public:
    explicit WinMainDlg(HINSTANCE instance) : m_instance(instance) {}

    // Runs the dialog modally, without an owner, until it ends.
    INT_PTR DoModal();

  protected:
    std::string GetItemText(int id) override;
    void SetItemText(int id, const std::string& text) override;
    bool IsChecked(int id) override;
    void SetChecked(int id, bool checked) override;
    void EnableItem(int id, bool enable) override;
    void ShowItem(int id, bool show) override;
    void FocusItem(int id) override;
    void LimitItemText(int id, int characters) override;
    int ListCount(int id) override;
    std::string ListText(int id, int index) override;
    void ListInsert(int id, int index, const std::string& text) override;
    void ListDelete(int id, int index) override;
    void ListSelect(int id, int index) override;
    void ResetProgress() override;
    void StepProgress() override;
    void ShowAnimationFrame(int iconId) override;
    void StartTimer() override;
    void StopTimer() override;
    int ShowBox(const std::string& text, UINT type) override;
    bool AskImageFile(bool save, std::string& path) override;
    void ShowAboutBox() override;
    void EndDialog() override;
    Window* JobOwner() override { return &m_owner; }
    // Windows takes names that differ only in case for the same file.
    bool FileNamesIgnoreCase() const override { return true; }

  private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    BOOL OnInitDialogMessage();
    void AddAboutToSystemMenu();
    void LoadPictures();
    bool PaintMinimized();
    HWND Item(int id) const { return GetDlgItem(m_hwnd, id); }

    HINSTANCE m_instance;
    HWND m_hwnd = nullptr;
    DialogWindow m_owner;
    app::WindowIcons m_icons;
    app::AnimationFrames m_frames;
    int m_frameShown = 0;
    // While WM_INITDIALOG runs: whether the logic placed the focus itself, which the dialog
    // manager must then leave where it is.
    bool m_initializing = false;
    bool m_focusPlaced = false;
};
