// Message boxes of the dialog and of its job, with the system's type bits (icon and buttons)
// and answers (IDOK, IDYES, IDNO, ...). Shown modally on the GUI thread.
#pragma once

#include <functional>
#include <string>

#include "platform/win_types.h"

class QWidget;
class QMessageBox;

namespace app {

// Builds the box the type asks for, not yet shown; the caller owns it.
QMessageBox* MakeMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                            UINT type);
// Shows the box modally and returns the answer.
int ShowMessageBox(QWidget* owner, const std::string& text, const std::string& caption, UINT type);

// Tests answer message boxes here instead of a person: while a hook is set, it is called on
// the GUI thread in place of showing the box and its result is the answer.
using MessageBoxHook =
    std::function<int(const std::string& text, const std::string& caption, UINT type)>;
void SetMessageBoxHook(MessageBoxHook hook);

}  // namespace app
