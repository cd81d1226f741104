// Renders the dialog idle, in the middle of a real compress and the About box into PNG files,
// for the README. Usage: tavrel-screenshots OUTPUT_FOLDER (run under Xvfb or offscreen).
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QTimer>
#include <cstdio>

#include "app/main_dlg.h"
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
    WriteFileBytes(dir / "tavrel.INI", "[Drives]\nA=" + dir / "disk.raw" +
                                           "\n[Drive Letters]\nEntry0=A\nEntry1=B\n[File Names]\n"
                                           "Entry0=backup-1.tvl\nEntry1=games.tvl\n");
    platform::ScopedProfilePath profile(dir / "tavrel.INI");
    if (chdir(dir.path().c_str()) != 0) return 1;

    bool ok = true;
    CMainDlg dlg;
    dlg.Create();
    dlg.show();
    WaitFor([&] { return dlg.isVisible(); });
    ok &= Save(dlg, out + "/dialog-idle.png");

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

    CAboutDlg about(&dlg);
    about.show();
    WaitFor([&] { return about.isVisible(); });
    ok &= Save(about, out + "/about.png");
    about.close();
    dlg.m_bSaveSettings = 0;
    dlg.OnCancel();
    return ok ? 0 : 1;
}
