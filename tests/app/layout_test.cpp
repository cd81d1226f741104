// What the user sees: every control inside the dialog and in template order, nothing
// overlapping but the group boxes around their controls, text never cut, the animation's
// frames, and the About box from the context menu.
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QMenu>
#include <QPushButton>

#include "app/qt/pictures.h"
#include "tests/app/app_fixture.h"

namespace {

class Layout : public AppTest {};

TEST_F(Layout, ControlsFitInTemplateOrderWithoutOverlap) {
    Open();
    const QRect client = dlg->rect();
    EXPECT_EQ(dlg->minimumSize(), dlg->maximumSize()) << "a fixed-size dialog";
    EXPECT_FALSE(dlg->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(dlg->GetDlgItem(ID_HELP)->isVisible());
    std::vector<QWidget*> shown;
    for (QWidget* w : dlg->Controls().inOrder) {
        if (!w->isVisible()) continue;
        EXPECT_TRUE(client.contains(w->geometry())) << w->objectName().toStdString();
        shown.push_back(w);
        // Nothing of a text is cut off.
        if (auto* button = qobject_cast<QPushButton*>(w)) {
            QString text = button->text().remove('&');
            EXPECT_LT(w->fontMetrics().horizontalAdvance(text), w->width()) << text.toStdString();
        } else if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w)) {
            EXPECT_GE(w->width(), w->sizeHint().width()) << w->objectName().toStdString();
        }
    }
    for (size_t i = 0; i < shown.size(); ++i) {
        for (size_t j = i + 1; j < shown.size(); ++j) {
            QRect a = shown[i]->geometry(), b = shown[j]->geometry();
            if (!a.intersects(b)) continue;
            // Only a group box may share room, and only by holding the control whole.
            bool held = (qobject_cast<QGroupBox*>(shown[i]) && a.contains(b)) ||
                        (qobject_cast<QGroupBox*>(shown[j]) && b.contains(a));
            EXPECT_TRUE(held) << i << " and " << j << " overlap";
        }
    }
    // The tab order is the template's order of the controls that take the focus.
    std::vector<QWidget*> stops;
    for (QWidget* w : dlg->Controls().inOrder)
        if (w->focusPolicy() & Qt::TabFocus && w->isVisible()) stops.push_back(w);
    // Unchecked radio buttons are no tab stops: Tab enters the group at the checked one.
    ASSERT_EQ(stops.size(), 8u);
    for (size_t i = 0; i + 1 < stops.size(); ++i) {
        QWidget* next = stops[i]->nextInFocusChain();
        // A combo box's edit field is part of it.
        while (next && (!(next->focusPolicy() & Qt::TabFocus) || stops[i]->isAncestorOf(next)))
            next = next->nextInFocusChain();
        EXPECT_EQ(next, stops[i + 1]) << i;
    }
    EXPECT_EQ(stops[0], dlg->GetDlgItem(IDC_OP_COMPRESS));
    EXPECT_TRUE(dlg->GetDlgItem(IDC_OP_COMPRESS)->hasFocus() || !dlg->isActiveWindow());
}

TEST_F(Layout, AnimationRunsSixFramesOfTheCheckedOperation) {
    Open();
    auto shown = [&] { return dlg->m_animation->property("iconId").toInt(); };
    // Bring the shared counter to frame 0.
    for (int i = 0; i < 6 && shown() != 151; ++i) dlg->OnTimer();
    ASSERT_EQ(shown(), 151);
    std::vector<int> frames;
    for (int i = 0; i < 7; ++i) {
        dlg->OnTimer();
        frames.push_back(shown());
    }
    EXPECT_EQ(frames, (std::vector<int>{146, 147, 148, 149, 150, 151, 146}));
    // A change of operation goes on with the next frame number of its own set.
    Click(IDC_OP_EXPAND);
    dlg->OnTimer();
    EXPECT_EQ(shown(), 159);
    Click(IDC_OP_VERIFY);
    dlg->OnTimer();
    EXPECT_EQ(shown(), 165);
    EXPECT_EQ(dlg->m_animation->pixmap().size(), QSize(64, 16));
    // The timer drives it: a tick changes the frame.
    EXPECT_TRUE(WaitUntil([&] { return shown() != 165; }, kDeadlineMs));
}

TEST_F(Layout, AboutBoxFromTheContextMenu) {
    Open();
    bool chosen = false, aboutShown = false;
    QString caption, version;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget()); menu && !chosen) {
            chosen = true;
            EXPECT_EQ(menu->actions().size(), 1);
            EXPECT_EQ(menu->actions()[0]->text(), "&About Tavrel...");
            menu->setActiveAction(menu->actions()[0]);
            QTest::keyClick(menu, Qt::Key_Return);
            return;
        }
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal != dlg.get()) {
            aboutShown = true;
            caption = modal->windowTitle();
            for (QLabel* label : modal->findChildren<QLabel*>())
                if (label->text().startsWith("Tavrel Version")) version = label->text();
            modal->findChild<QPushButton*>("IDOK")->click();
            driver.stop();
        }
    });
    driver.start(5);
    // The menu key's way to the menu.
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(10, 10),
                              dlg->mapToGlobal(QPoint(10, 10)), Qt::NoModifier);
    QApplication::sendEvent(dlg.get(), &menuKey);
    EXPECT_TRUE(WaitUntil([&] { return aboutShown; }, kDeadlineMs));
    EXPECT_EQ(caption, "About Tavrel");
    EXPECT_EQ(version, "Tavrel Version 1.0");
    EXPECT_FALSE(ApplicationIcon().availableSizes().isEmpty());
}

}  // namespace
