// An owner window for tests: records every status line, progress step, end notice and message
// box the job sends, on the test's own thread, as the dialog would receive them.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "engine/disk_job.h"
#include "platform/window.h"

struct ShownBox {
    std::string text;
    std::string caption;
    UINT type;
};

class RecordingWindow : public platform::QueuedWindow {
  public:
    std::vector<std::string> statusLines;
    std::vector<ShownBox> boxes;
    std::vector<int> progressAtStatus;  // index into statusLines when each progress step came
    int progressSteps = 0;
    int doneCount = 0;
    // Called on each status line; lets a test act at a precise point of a pass.
    std::function<void(const std::string&)> onStatus;

  protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM) override {
        if (message == WM_COMMAND && LOWORD(wParam) == ID_JOB_PROGRESS) {
            ++progressSteps;
            progressAtStatus.push_back(static_cast<int>(statusLines.size()));
        }
        if (message == WM_COMMAND && LOWORD(wParam) == ID_JOB_DONE) ++doneCount;
        return 0;
    }
    LRESULT OnItemMessage(int controlId, UINT message, WPARAM, LPARAM lParam) override {
        if (controlId == IDC_STATUS && message == WM_SETTEXT) {
            statusLines.emplace_back(reinterpret_cast<const char*>(lParam));
            if (onStatus) onStatus(statusLines.back());
        }
        return TRUE;
    }
    int OnMessageBox(const std::string& text, const std::string& caption, UINT type) override {
        boxes.push_back({text, caption, type});
        return IDOK;
    }
};

// Starts the job and pumps the window until its end notice, then waits for the thread to end.
// False when the job did not finish within the time limit.
bool RunToCompletion(CDiskJob& job, RecordingWindow& window, unsigned timeoutMs = 60000);

// Open descriptors of this process.
int OpenDescriptorCount();
