// The application object's Qt face: the text on standard output, the refusal box and the modal
// main dialog. Qt is started only for a window, so tavrel --help needs no display.
#pragma once

#include <memory>

#include "app/app.h"

class QApplication;

class QtTavrelApp : public CTavrelApp {
  public:
    // argv: the program's, for Qt's application object once a window is wanted; none is made
    // while one exists (the tests make their own).
    explicit QtTavrelApp(char** argv = nullptr);
    ~QtTavrelApp() override;

  protected:
    void ShowText(const std::string& text) override;
    void ShowRefusal(const std::string& text, const std::string& caption) override;
    JobResult RunMainDialog(const CTavrelCommandLineInfo& cmdInfo) override;

  private:
    void StartToolkit();

    char** m_argv;
    // Qt keeps a reference to the count for the application's whole life.
    int m_qtArgc = 1;
    std::unique_ptr<QApplication> m_application;
};
