#include "app/qt/message_box.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QString>

namespace app {
namespace {

MessageBoxHook g_hook;  // touched on the GUI thread only

QMessageBox::Icon IconFor(UINT type) {
    switch (type & MB_ICONMASK) {
        case MB_ICONERROR:
            return QMessageBox::Critical;
        case MB_ICONQUESTION:
            return QMessageBox::Question;
        case MB_ICONEXCLAMATION:
            return QMessageBox::Warning;
        case MB_ICONINFORMATION:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

}  // namespace

void SetMessageBoxHook(MessageBoxHook hook) {
    g_hook = std::move(hook);
}

QMessageBox* MakeMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                            UINT type) {
    auto* box = new QMessageBox(owner);
    box->setIcon(IconFor(type));
    box->setWindowTitle(QString::fromStdString(caption));
    box->setTextFormat(Qt::PlainText);
    box->setText(QString::fromStdString(text));
    switch (type & MB_TYPEMASK) {
        case MB_YESNO:
            box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box->setDefaultButton(QMessageBox::Yes);
            box->setEscapeButton(QMessageBox::No);
            break;
        case MB_OKCANCEL:
            box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            box->setDefaultButton(QMessageBox::Ok);
            break;
        default:
            box->setStandardButtons(QMessageBox::Ok);
            box->setDefaultButton(QMessageBox::Ok);
            break;
    }
    return box;
}

int ShowMessageBox(QWidget* owner, const std::string& text, const std::string& caption, UINT type) {
    if (g_hook) return g_hook(text, caption, type);
    QMessageBox* box = MakeMessageBox(owner, text, caption, type);
    // With no window manager nobody else gives the box the keyboard, and Enter must answer it.
    box->show();
    box->raise();
    box->activateWindow();
    int answer = box->exec();
    delete box;
    switch (answer) {
        case QMessageBox::Yes:
            return IDYES;
        case QMessageBox::No:
            return IDNO;
        case QMessageBox::Cancel:
            return IDCANCEL;
        default:
            return IDOK;
    }
}

}  // namespace app
