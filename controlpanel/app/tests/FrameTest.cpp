// The main window and the tray icon: the icon's mouse messages, closing,
// the tray menu's commands, the About box, the status bar. Screenshots of
// the window and the About box go to /tmp.
#include <QtTest>

#include <QAbstractButton>
#include <QAccessible>
#include <QSlider>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QTableWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>

#include <memory>

#include "controlpanel/app/AboutDlg.h"
#include "controlpanel/app/ControlPanelIds.h"
#include "controlpanel/app/MainFrame.h"
#include "controlpanel/app/QEL_CPLView.h"
#include "controlpanel/app/DialogPage.h"
#include "controlpanel/app/TreeCtrlEx.h"
#include "os/sim/SimOs.h"
#include "sim/Rig.h"
#include "os/tests/ForwardingOs.h"
#include "ui/ControlId.h"
#include "ui/SkinLoader.h"
#include "ui/WindowMessage.h"

// The texts of `page` that do not show whole: labels and buttons narrower
// than their text, cells of lists and items of trees narrower than what
// their delegate asks for.
QStringList CutTexts(QWidget* page)
{
    QStringList cut;
    const auto note = [&cut](const QString& text, int need, int have) {
        if (need > have)
            cut << QStringLiteral("\"%1\" needs %2 px, has %3").arg(text).arg(need).arg(have);
    };
    // The widest line of a text.
    const auto width = [](const QFontMetrics& metrics, const QString& text) {
        int widest = 0;
        for (const QString& line : text.split(QLatin1Char('\n')))
            widest = std::max(widest, metrics.horizontalAdvance(line));
        return widest;
    };
    for (QLabel* l : page->findChildren<QLabel*>())
        if (l->isVisible() && !l->wordWrap() && !l->text().isEmpty())
            note(l->text(), width(l->fontMetrics(), l->text()), l->contentsRect().width());
    for (QAbstractButton* b : page->findChildren<QAbstractButton*>())
        if (b->isVisible() && !b->text().isEmpty()) {
            const QString text = QString(b->text()).remove(QLatin1Char('&'));
            // Check boxes and radio buttons put their mark before the text.
            const int mark = qobject_cast<QPushButton*>(b) ? 8 : 20;
            note(text, width(b->fontMetrics(), text) + mark, b->width());
        }
    for (QTableWidget* t : page->findChildren<QTableWidget*>()) {
        if (!t->isVisible())
            continue;
        for (int c = 0; c < t->columnCount(); ++c) {
            if (const QTableWidgetItem* h = t->horizontalHeaderItem(c))
                note(h->text(),
                     t->horizontalHeader()->fontMetrics().horizontalAdvance(h->text()) +
                         2 * t->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, t->horizontalHeader()),
                     t->columnWidth(c));
            for (int r = 0; r < t->rowCount(); ++r) {
                const QModelIndex index = t->model()->index(r, c);
                QStyleOptionViewItem option;
                option.initFrom(t);
                option.font = t->font();
                note(index.data().toString(), t->itemDelegate()->sizeHint(option, index).width(), t->columnWidth(c));
            }
        }
    }
    for (QTreeWidget* t : page->findChildren<QTreeWidget*>()) {
        if (!t->isVisible())
            continue;
        for (int i = 0; i < t->topLevelItemCount(); ++i) {
            const QModelIndex index = t->model()->index(i, 0);
            QStyleOptionViewItem option;
            option.initFrom(t);
            option.font = t->font();
            option.decorationSize = t->iconSize();
            option.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
            const QRect rect = t->visualRect(index);
            note(index.data().toString(), t->itemDelegate()->sizeHint(option, index).width(),
                 std::min(rect.right(), t->viewport()->width() - 1) - rect.left() + 1);
        }
    }
    return cut;
}

class FrameTest : public QObject {
    Q_OBJECT

    std::unique_ptr<qel::sim::Rig> m_rig;
    std::unique_ptr<qel::os::SimOs> m_sim;
    std::unique_ptr<qel::os::ForwardingOs> m_os;  // the rig, with the texts of the drivers
    std::unique_ptr<qel::cpl::CDrv> m_drv;
    std::unique_ptr<CMainFrame> m_frame;

    void Tray(unsigned id, unsigned mouse)
    {
        QVERIFY(CWindowMessage::Post(m_frame.get(), UM_TRAY_NOTIFY, id, mouse));
        QCoreApplication::sendPostedEvents(m_frame.get());
    }
    // The page at `order` in the tree, selected and shown.
    static constexpr int kPages = 6;
    CDialogPage* ShowPage(int order)
    {
        CQEL_CPLView* view = m_frame->View();
        view->Tree()->SelectItem(view->TreeItem(order));
        QCoreApplication::sendPostedEvents();
        return view->VisiblePage();
    }
    void CloseTrayMenu()
    {
        if (QMenu* menu = m_frame->TrayMenu())
            menu->close();
        QTRY_VERIFY(!m_frame->TrayMenu());
    }

private slots:
    void init()
    {
        CTrayIcon::OverrideAvailability(true);
        m_rig = qel::sim::Rig::makeDefault();
        m_sim = std::make_unique<qel::os::SimOs>(*m_rig);
        m_os = std::make_unique<qel::os::ForwardingOs>(*m_sim, false);
        m_drv = std::make_unique<qel::cpl::CDrv>(*m_os);
        m_frame = std::make_unique<CMainFrame>(*m_drv, *m_os, false, CSkin::Icon(IDR_MAINFRAME));
    }
    void cleanup()
    {
        m_frame.reset();
        m_drv.reset();
        m_os.reset();
        m_sim.reset();
        m_rig.reset();
        CTrayIcon::OverrideAvailability(std::nullopt);
    }

    void trayMouse()
    {
        // A left click shows the window and never opens the menu.
        for (unsigned mouse : {kWmLButtonDown, kWmLButtonDblClk}) {
            m_frame->hide();
            Tray(kTrayIconId, mouse);
            QVERIFY(m_frame->isVisible());
            QVERIFY(!m_frame->TrayMenu());
        }
        // Right press and right double click open menu 150.
        for (unsigned mouse : {kWmRButtonDown, kWmRButtonDblClk}) {
            Tray(kTrayIconId, mouse);
            QMenu* menu = m_frame->TrayMenu();
            QVERIFY(menu);
            QVERIFY(menu->isVisible());
            QCOMPARE(menu->actions().size(), 2);
            QCOMPARE(menu->actions().at(0)->text(), QStringLiteral("&Open"));
            QCOMPARE(menu->actions().at(0)->data().toInt(), ID_TRAY_OPEN);
            QCOMPARE(menu->actions().at(1)->text(), QStringLiteral("&Quit"));
            QCOMPARE(menu->actions().at(1)->data().toInt(), ID_TRAY_QUIT);
            CloseTrayMenu();
        }
        // Another icon's messages and other mouse messages are ignored.
        m_frame->hide();
        Tray(kTrayIconId + 1, kWmLButtonDown);
        Tray(kTrayIconId + 1, kWmRButtonDown);
        Tray(kTrayIconId, kWmMButtonDown);
        QVERIFY(!m_frame->isVisible());
        QVERIFY(!m_frame->TrayMenu());
    }

    void trayMenuCommands()
    {
        QSignalSpy exits(m_frame.get(), &CMainFrame::ExitRequested);
        m_frame->hide();
        Tray(kTrayIconId, kWmRButtonDown);
        m_frame->TrayMenu()->actions().at(0)->trigger();
        QVERIFY(m_frame->isVisible());
        CloseTrayMenu();
        QCOMPARE(exits.count(), 0);

        Tray(kTrayIconId, kWmRButtonDown);
        m_frame->TrayMenu()->actions().at(1)->trigger();
        QCOMPARE(exits.count(), 0);  // posted, not run at once
        QTRY_COMPARE(exits.count(), 1);
    }

    void closeHidesAndEverythingStays()
    {
        QSignalSpy exits(m_frame.get(), &CMainFrame::ExitRequested);
        m_frame->show();
        QVERIFY(m_frame->TrayIcon().IsShown());
        QVERIFY(m_frame->View()->Notificator().hasWorker());

        QVERIFY(!m_frame->close());  // the caption's close button
        QVERIFY(!m_frame->isVisible());
        QVERIFY(m_frame->TrayIcon().IsShown());
        QVERIFY(m_drv->isOpen());
        QVERIFY(m_frame->View()->Notificator().hasWorker());
        QCOMPARE(exits.count(), 0);

        // "&File" / "&Close" hides too.
        m_frame->show();
        m_frame->OnCommand(ID_HIDE);
        QVERIFY(!m_frame->isVisible());
        QVERIFY(m_frame->TrayIcon().IsShown());

        // The window still works after being hidden: driver events refresh it.
        m_rig->withFwDevice(2, [](qel::sim::FwDeviceModel& m) { m.deviceName = "Moved"; });
        m_rig->unplug(2);
        m_rig->queueDriverEvent(3);
        QTRY_COMPARE(m_frame->PaneText(1), QStringLiteral("1 Device(s) connected."));
    }

    void closeWithoutNotificationAreaMinimises()
    {
        CTrayIcon::OverrideAvailability(false);
        m_frame->show();
        QVERIFY(!m_frame->close());
        QVERIFY(m_frame->isVisible());
        QVERIFY(m_frame->isMinimized());
        m_frame->OnCommand(ID_TRAY_OPEN);
        QVERIFY(!m_frame->isMinimized());
    }

    // The pages are laid out in dialog units for the 8-point dialog font;
    // with the program's default font the tree showed "Input Chann..." and
    // the stream cells "connected ...".
    // Every control of every page: Tab reaches it from the page tree (and
    // comes back round to the tree), and a screen reader gets a name for it;
    // a buffer slider's value reads as its read-out shows it.
    void everyControlOfEveryPageIsReachedByTabAndNamed()
    {
        m_frame->show();
        QApplication::setActiveWindow(m_frame.get());
        CQEL_CPLView* view = m_frame->View();
        for (int order = 0; order < kPages; ++order) {
            CDialogPage* page = ShowPage(order);
            QVERIFY(page);
            const QString title = view->TreeItem(order)->text(0);
            QList<QWidget*> expected{view->Tree()};
            for (QWidget* w : page->findChildren<QWidget*>())
                if ((w->focusPolicy() & Qt::TabFocus) && w->isVisible() && w->isEnabled() && !w->focusProxy())
                    expected << w;
            view->Tree()->setFocus(Qt::TabFocusReason);
            QSet<QWidget*> reached{view->Tree()};
            for (int step = 0; step < 100; ++step) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                if (QApplication::focusWidget() == view->Tree())
                    break;
                reached.insert(QApplication::focusWidget());
            }
            QCOMPARE(QApplication::focusWidget(), view->Tree());
            for (QWidget* w : expected) {
                QVERIFY2(reached.contains(w), qPrintable(title + QLatin1String(": Tab misses ") +
                                                         QString::fromLatin1(w->metaObject()->className())));
                QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
                QVERIFY(a);
                QVERIFY2(!a->text(QAccessible::Name).isEmpty(),
                         qPrintable(title + QLatin1String(": no name for ") +
                                    QString::fromLatin1(w->metaObject()->className())));
            }
            for (QSlider* slider : page->findChildren<QSlider*>()) {
                QAccessibleInterface* a = QAccessible::queryAccessibleInterface(slider);
                QVERIFY(a && a->valueInterface());
                QVERIFY(a->text(QAccessible::Name).endsWith(QLatin1String("buffer depth:")));
                QVERIFY2(a->text(QAccessible::Description).contains(QLatin1String(" ms")) ||
                             a->text(QAccessible::Description).contains(QStringLiteral(" \u00b5s")),
                         qPrintable(a->text(QAccessible::Description)));
            }
        }
    }

    void everyTextOfEveryPageShowsWhole()
    {
        m_frame->show();
        CQEL_CPLView* view = m_frame->View();
        for (int order = 0; order < kPages; ++order) {
            QVERIFY(ShowPage(order));
            const QStringList cut = CutTexts(view);
            QVERIFY2(cut.isEmpty(), qPrintable(view->TreeItem(order)->text(0) + QLatin1String(": ") +
                                                cut.join(QLatin1String("; "))));
        }
    }

    void windowLayout()
    {
        m_frame->show();
        QCOMPARE(m_frame->windowTitle(), QStringLiteral("Drevik Control Panel"));
        QCOMPARE(m_frame->TrayIcon().ToolTip(), QStringLiteral("Drevik Control Panel"));
        QCOMPARE(m_frame->TrayIcon().Id(), kTrayIconId);
        QVERIFY(!(m_frame->windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(m_frame->minimumSize(), m_frame->maximumSize());
        QVERIFY(m_frame->centralWidget()->geometry().width() >= 675);

        QStatusBar* bar = FindControl<QStatusBar>(m_frame.get(), AFX_IDW_STATUS_BAR);
        QVERIFY(bar);
        QCOMPARE(m_frame->PaneText(0), QStringLiteral("Devices"));
        QCOMPARE(m_frame->PaneText(1), QStringLiteral("2 Device(s) connected."));
        QCOMPARE(m_frame->PaneText(2), QStringLiteral("Current sampling rate: 48.0 kHz"));
        QList<QLabel*> panes;
        for (QLabel* l : bar->findChildren<QLabel*>())
            if (l->property("paneId").isValid())
                panes.insert(l->property("paneId").toInt(), l);
        QCOMPARE(panes.size(), 4);
        QVERIFY(panes[0]->width() >= 100);
        QCOMPARE(panes[1]->width(), 150);
        QCOMPARE(panes[2]->width(), 200);
        QCOMPARE(panes[3]->width(), 200);
        // Pane 0 takes the rest, left of the others.
        QVERIFY(panes[0]->geometry().right() < panes[1]->geometry().left());

        QStringList menus;
        for (QAction* a : m_frame->menuBar()->actions())
            menus << a->text();
        QCOMPARE(menus, QStringList({"&File", "&Info"}));

        QVERIFY(m_frame->grab().save(QStringLiteral("/tmp/cpl-main-frame.png")));
        m_frame->View()->Tree()->SelectItem(m_frame->View()->TreeItem(4));
        QVERIFY(m_frame->grab().save(QStringLiteral("/tmp/cpl-main-frame-settings.png")));
    }

private:
    // Opens the About box from the frame's command, takes its caption and
    // text, saves a picture and closes it (the box is modal).
    void OpenAbout(QString& caption, QString& text, const QString& picture)
    {
        QTimer::singleShot(0, this, [&] {
            auto* about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
            if (!about)
                return;
            caption = about->windowTitle();
            text = FindControl<QLabel>(about, IDC_ABOUT_TEXT)->text();
            about->grab().save(picture);
            about->accept();
        });
        m_frame->OnCommand(ID_APP_ABOUT);
    }

private slots:
    void aboutBox()
    {
        m_frame->show();
        QString caption, text;
        OpenAbout(caption, text, QStringLiteral("/tmp/cpl-about.png"));  // modal: returns when the box closed
        QCOMPARE(caption, QStringLiteral("About Drevik Control Panel"));
        QVERIFY(text.startsWith(QStringLiteral("Drevik Control Panel V6.11.0\n\n")));
        QVERIFY(text.size() > QStringLiteral("Drevik Control Panel V6.11.0\n\n").size());
        QVERIFY(!text.contains(QStringLiteral("simulated rig")));
    }

    void onTheSimulatedRigTheTitleTheTipAndTheAboutBoxSayItIsTheRig()
    {
        m_frame.reset();
        m_drv = std::make_unique<qel::cpl::CDrv>(*m_sim);
        m_frame = std::make_unique<CMainFrame>(*m_drv, *m_sim, false, CSkin::Icon(IDR_MAINFRAME));
        m_frame->show();
        QCOMPARE(m_frame->windowTitle(), QStringLiteral("Drevik Control Panel (simulated rig)"));
        QCOMPARE(m_frame->TrayIcon().ToolTip(), QStringLiteral("Drevik Control Panel (simulated rig)"));
        QString caption, text;
        OpenAbout(caption, text, QStringLiteral("/tmp/cpl-about-rig.png"));
        QCOMPARE(caption, QStringLiteral("About Drevik Control Panel (simulated rig)"));
        QVERIFY(text.startsWith(QStringLiteral("Drevik Control Panel V6.11.0\n\n")));
        QVERIFY(text.endsWith(QStringLiteral("\n\nRunning on the simulated rig, not on the hardware.")));
    }
};

QTEST_MAIN(FrameTest)
#include "FrameTest.moc"
