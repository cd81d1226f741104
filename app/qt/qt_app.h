// The application object's Qt face: the refusal box and the modal main dialog.
#pragma once

#include "app/app.h"

class QtTavrelApp : public CTavrelApp {
  protected:
    void ShowRefusal(const std::string& text, const std::string& caption) override;
    JobResult RunMainDialog(const CTavrelCommandLineInfo& cmdInfo) override;
};
