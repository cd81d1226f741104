// Renders the dialog idle, in the middle of a real compress, with its drive list dropped down
// and the About box into PNG files, for the README. Usage: tavrel-screenshots OUTPUT_FOLDER
// (run under Xvfb: the dropped-down list is a window of its own, taken from the screen).
#include <unistd.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>
#include <cstdio>

#include "app/qt/drive_list.h"
#include "app/qt/qt_main_dlg.h"
#include "app/resource_ids.h"
#include "platform/profile.h"
#include "tests/support/floppy_images.h"
#include "tests/support/temp_dir.h"

namespace {

bool Save(QWidget& widget, const QString& path) {
    bool ok = widget.grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", path.toLocal8Bit().constData());
    return ok;
}

void WaitFor(const std::function<bool()>& done) {
    while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

// The dialog and its dropped-down list together, as they are on the screen.
bool SaveWithPopup(QtMainDlg& dlg, const QString& path) {
    QWidget* popup = dlg.m_driveCombo->view()->window();
    QRect area = dlg.frameGeometry().united(popup->frameGeometry());
    QPixmap picture = QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(),
                                                                   area.width(), area.height());
    bool ok = !picture.isNull() && picture.save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", path.toLocal8Bit().constData());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 64;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    TempDir dir;
    if (!MakeFloppyImage(dir / "disk.raw", kFloppyFormats[4])) {
        std::fprintf(stderr, "mkfs.fat and mcopy are needed\n");
        return 1;
    }
    WriteFileBytes(dir / "tavrel.INI", "[Drives]\nA=" + dir / "disk.raw" + "\nB=/dev/fd1" +
                                           "\n[Drive Letters]\nEntry0=A\nEntry1=B\n[File Names]\n"
                                           "Entry0=backup-1.tvl\nEntry1=games.tvl\n");
    platform::ScopedProfilePath profile(dir / "tavrel.INI");
    // Two USB floppy drives with a diskette in, as the drive list would find them: A reaches
    // the first already, the second gets the first free letter.
    app::SetDriveFinder([&] {
        FloppyDrive usb;
        usb.device = dir / "disk.raw";
        usb.format = "1.44 MB";
        usb.medium = FloppyMedium::Present;
        usb.vendor = "TEAC";
        usb.model = "USB UF000x";
        FloppyDrive second = usb;
        second.device = "/dev/sdc";
        second.vendor = "Y-E DATA";
        second.model = "USB-FDU";
        return std::vector<FloppyDrive>{usb, second};
    });
    if (chdir(dir.path().c_str()) != 0) return 1;

    bool ok = true;
    QtMainDlg dlg;
    dlg.Create();
    dlg.show();
    WaitFor([&] { return dlg.isVisible() && !dlg.DriveSearchRunning(); });
    ok &= Save(dlg, out + "/dialog-idle.png");

    dlg.m_driveCombo->showPopup();
    QWidget* popup = dlg.m_driveCombo->view()->window();
    WaitFor([&] { return popup->isVisible(); });
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ok &= SaveWithPopup(dlg, out + "/dialog-drives.png");
    dlg.m_driveCombo->hidePopup();

    // Mid-job: the worker waits inside its progress send while the picture is taken.
    bool taken = false;
    QObject::connect(dlg.m_progress, &QProgressBar::valueChanged, &dlg, [&](int value) {
        if (taken || value < 50) return;
        taken = true;
        dlg.OnTimer();
        dlg.OnTimer();
        dlg.OnTimer();
        ok &= Save(dlg, out + "/dialog-running.png");
    });
    dlg.m_fileCombo->setEditText("backup-2.tvl");
    static_cast<QAbstractButton*>(dlg.GetDlgItem(IDC_START))->click();
    WaitFor([&] { return dlg.m_lastJobResult != JobNotRun; });
    ok &= taken;

    QtAboutDlg about(&dlg);
    about.show();
    WaitFor([&] { return about.isVisible(); });
    ok &= Save(about, out + "/about.png");
    about.close();
    dlg.m_bSaveSettings = 0;
    dlg.OnCancel();
    return ok ? 0 : 1;
}
