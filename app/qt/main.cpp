#include <string>
#include <vector>

#include "app/qt/qt_app.h"
#include "platform/udisks.h"

int main(int argc, char** argv) {
    // The arguments in the system's text, which is UTF-8 here.
    std::vector<std::string> arguments(argv, argv + argc);
    // Started from the desktop menu there is no terminal, but the desktop's polkit agent can
    // ask the user for permission to open the drive.
    platform::AllowInteractiveAuthorization(true);
    QtTavrelApp theApp(argv);
    theApp.InitInstance(arguments);
    return theApp.ExitInstance();
}
