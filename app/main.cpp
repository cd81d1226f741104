#include <QApplication>

#include "app/app.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    CTavrelApp theApp;
    theApp.InitInstance(QApplication::arguments());
    return theApp.ExitInstance();
}
