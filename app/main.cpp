#include <QApplication>

#include "app/app.h"
#include "platform/udisks.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // Started from the desktop menu there is no terminal, but the desktop's polkit agent can
    // ask the user for permission to open the drive.
    platform::AllowInteractiveAuthorization(true);
    CTavrelApp theApp;
    theApp.InitInstance(QApplication::arguments());
    return theApp.ExitInstance();
}
