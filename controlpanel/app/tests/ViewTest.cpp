// The settings-page framework against a simulated rig: tree and start page,
// page placement, Enter/Escape on a page, the driver event drain and the
// device-interface broadcasts.
#include <QtTest>

#include <memory>

#include "controlpanel/app/ControlPanelIds.h"
#include "controlpanel/app/DialogPage.h"
#include "controlpanel/app/DlgPgDevices.h"
#include "controlpanel/app/DlgPgSynchronisation.h"
#include "controlpanel/app/ListCtrlEx.h"
#include "controlpanel/app/MainFrame.h"
#include "controlpanel/app/QEL_CPLView.h"
#include "controlpanel/app/TrayIcon.h"
#include "device/Requests.h"
#include "controlpanel/app/TreeCtrlEx.h"
#include "os/sim/SimOs.h"
#include "sim/Rig.h"
#include "ui/ControlId.h"

using qel::cpl::CDrv;

class ViewTest : public QObject {
    Q_OBJECT

    std::unique_ptr<qel::sim::Rig> m_rig;
    std::unique_ptr<qel::os::SimOs> m_os;
    std::unique_ptr<CDrv> m_drv;
    std::unique_ptr<CMainFrame> m_frame;

    CMainFrame* Start(bool startOnSettings = false)
    {
        m_frame = std::make_unique<CMainFrame>(*m_drv, *m_os, startOnSettings, QIcon());
        return m_frame.get();
    }
    CQEL_CPLView* View() { return m_frame->View(); }
    QStringList DeviceRows()
    {
        auto* list = FindControl<CListCtrlEx>(View()->DevicesPage(), IDC_DEVICE_LIST);
        QStringList rows;
        for (int r = 0; r < list->GetItemCount(); ++r)
            rows << list->GetItemText(r, 0);
        return rows;
    }
    void RenameInRig(std::uint32_t id, const char* name)
    {
        m_rig->withFwDevice(id, [name](qel::sim::FwDeviceModel& m) { m.deviceName = name; });
    }
    void DriverAbsent(bool absent)
    {
        if (absent)
            m_rig->setVersionAnswer({1, 0});
        else
            m_rig->setVersionAnswer({2, 14, 0, 0, 1});
    }

private slots:
    void init()
    {
        CTrayIcon::OverrideAvailability(true);
        m_rig = qel::sim::Rig::makeDefault();
        m_os = std::make_unique<qel::os::SimOs>(*m_rig);
        m_drv = std::make_unique<CDrv>(*m_os);
    }
    void cleanup()
    {
        m_frame.reset();
        m_drv.reset();
        m_os.reset();
        m_rig.reset();
        CTrayIcon::OverrideAvailability(std::nullopt);
    }

    void treeAndStartPage_data()
    {
        QTest::addColumn<bool>("startOnSettings");
        QTest::addColumn<QString>("page");
        QTest::newRow("plain start") << false << "Devices";
        QTest::newRow("start on Settings") << true << "Settings";
    }
    void treeAndStartPage()
    {
        QFETCH(bool, startOnSettings);
        QFETCH(QString, page);
        Start(startOnSettings);

        CTreeCtrlEx* tree = FindControl<CTreeCtrlEx>(View(), IDC_TREE);
        QVERIFY(tree);
        const char* labels[] = {"Devices", "Input Channels", "Output Channels", "Synchronisation", "Settings",
                                "Streams"};
        const int images[] = {1, 3, 3, 5, 2, 4};
        const quint32 data[] = {0x12000000, 0x13000000, 0x14000000, 0x18000000, 0x11000000, 0x16000000};
        QCOMPARE(tree->topLevelItemCount(), 6);
        for (int i = 0; i < 6; ++i) {
            QTreeWidgetItem* item = tree->topLevelItem(i);
            QCOMPARE(item->text(0), QString::fromLatin1(labels[i]));
            QCOMPARE(tree->GetItemImage(item), images[i]);
            QCOMPARE(tree->GetItemData(item), data[i]);
            QVERIFY(!item->icon(0).isNull());
        }

        QCOMPARE(tree->GetSelectedItem()->text(0), page);
        QCOMPARE(m_frame->PaneText(0), page);
        QVERIFY(View()->VisiblePage());
        QCOMPARE(View()->VisiblePage()->windowTitle(), page);
    }

    void selectionShowsOnePageAtItsPlace()
    {
        Start();
        CTreeCtrlEx* tree = View()->Tree();
        for (int i = 0; i < 6; ++i) {
            tree->SelectItem(tree->topLevelItem(i));
            int visible = 0;
            for (CDialogPage* p : View()->Pages())
                visible += p->isVisibleTo(View()) ? 1 : 0;
            QCOMPARE(visible, 1);
            CDialogPage* shown = View()->VisiblePage();
            QCOMPARE(shown->windowTitle(), tree->topLevelItem(i)->text(0));
            QCOMPARE(m_frame->PaneText(0), tree->topLevelItem(i)->text(0));
            QCOMPARE(shown->pos(), QPoint(140, 2));
            // Templates are 350x238 dialog units, the streams page 350x239.
            QCOMPARE(shown->size(), QSize(525, shown->TemplateId() == IDD_PG_STREAMS ? 388 : 386));
            // Right of the divider and inside the form's width.
            QVERIFY(shown->x() > View()->Tree()->geometry().right());
            QVERIFY(shown->geometry().right() < View()->width());
        }
        // An item that names no page shows none and leaves pane 0 alone.
        QTreeWidgetItem* stray = tree->InsertItem(QStringLiteral("Other"), 0, 0, 0x20000000);
        tree->SelectItem(stray);
        QVERIFY(!View()->VisiblePage());
        QCOMPARE(View()->LastSelectedItem(), stray);
        QCOMPARE(m_frame->PaneText(0), QStringLiteral("Streams"));
    }

    void enterAndEscapeKeepThePage()
    {
        Start();
        m_frame->show();
        CDialogPage* page = View()->VisiblePage();
        QVERIFY(page);
        const int result = page->result();
        for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
            QTest::keyClick(page, Qt::Key(key));
            // From inside a control of the page as well.
            QTest::keyClick(FindControl(page, IDC_DEVICE_LIST), Qt::Key(key));
        }
        QVERIFY(page->isVisible());
        QCOMPARE(View()->VisiblePage(), page);
        QCOMPARE(page->result(), result);
    }

    void driverEventsRefreshOnlyForKinds2And3()
    {
        Start();
        QCOMPARE(DeviceRows(), QStringList({"Studio 610", "Stage 1814"}));
        QVERIFY(View()->Notificator().hasWorker());

        // Kinds 1 and 4 are fetched and dropped.
        RenameInRig(1, "Renamed 610");
        m_rig->queueDriverEvent(1);
        m_rig->queueDriverEvent(4);
        QTest::qWait(300);
        QCOMPARE(DeviceRows().first(), QStringLiteral("Studio 610"));

        m_rig->queueDriverEvent(3);
        QTRY_COMPARE(DeviceRows().first(), QStringLiteral("Renamed 610"));
        RenameInRig(2, "Renamed 1814");
        m_rig->queueDriverEvent(2);
        QTRY_COMPARE(DeviceRows().last(), QStringLiteral("Renamed 1814"));
    }

    // A refresh for an event that cannot read the device list (the driver
    // busy) is made again: the page does not stay empty.
    void aFailedEventRefreshIsMadeAgain()
    {
        Start();
        QCOMPARE(DeviceRows(), QStringList({"Studio 610", "Stage 1814"}));
        QTest::qWait(2 * CQEL_CPLView::kEventRefreshMs);
        m_rig->failNext(qel::QEL_REQ_GET_DEVICE_LIST, 2, 0xE0000001);
        m_rig->queueDriverEvent(3);
        QTRY_COMPARE(DeviceRows(), QStringList());
        QTRY_COMPARE(DeviceRows(), QStringList({"Studio 610", "Stage 1814"}));
    }

    // A plug or unplug reaches the pages as the driver's own event (the
    // broadcasts change nothing while the driver is open): no event is
    // queued by hand here.
    void pagesFollowPlugAndUnplug()
    {
        Start();
        QCOMPARE(DeviceRows(), QStringList({"Studio 610", "Stage 1814"}));
        QCOMPARE(m_frame->PaneText(1), QStringLiteral("2 Device(s) connected."));
        QVERIFY(View()->Notificator().hasWorker());

        QVERIFY(m_rig->unplug(2));
        QTRY_COMPARE(DeviceRows(), QStringList({"Studio 610"}));
        QCOMPARE(m_frame->PaneText(1), QStringLiteral("1 Device(s) connected."));

        QVERIFY(m_rig->unplug(1));
        QTRY_VERIFY(DeviceRows().isEmpty());
        QCOMPARE(m_frame->PaneText(1), QStringLiteral("0 Device(s) connected."));

        QVERIFY(m_rig->plug(2));
        QTRY_COMPARE(DeviceRows(), QStringList({"Stage 1814"}));
        QVERIFY(m_rig->plug(1));
        QTRY_COMPARE(DeviceRows().size(), 2);
        QCOMPARE(m_frame->PaneText(1), QStringLiteral("2 Device(s) connected."));
        QVERIFY(m_drv->isOpen());
    }

    void broadcastsWhileTheDriverIsOpenChangeNothing()
    {
        Start();
        RenameInRig(1, "Renamed 610");
        QVERIFY(View()->OnDeviceChange(qel::os::kDeviceArrival, QString::fromStdString(m_rig->fwDevicePath(1))));
        QCOMPARE(DeviceRows().first(), QStringLiteral("Studio 610"));
    }

    void driverAppearingAfterStart()
    {
        DriverAbsent(true);
        Start();
        QVERIFY(!m_drv->isOpen());
        QVERIFY(!View()->Notificator().hasWorker());
        QVERIFY(DeviceRows().isEmpty());
        QCOMPARE(m_frame->PaneText(1), QStringLiteral("0 Device(s) connected."));
        QCOMPARE(m_frame->PaneText(2), QStringLiteral("Current sampling rate: unknown"));

        DriverAbsent(false);
        // Names of four characters or fewer and other broadcast kinds do not count.
        View()->OnDeviceChange(qel::os::kDeviceArrival, QStringLiteral("\\\\?\\"));
        View()->OnDeviceChange(0x8001 /* query remove */, QString::fromStdString(m_rig->fwDevicePath(1)));
        QVERIFY(!m_drv->isOpen());
        QVERIFY(DeviceRows().isEmpty());

        // A real arrival through the platform: the handle opens, the notificator runs, the pages fill.
        QVERIFY(m_rig->unplug(2));
        QVERIFY(m_rig->plug(2));
        QTRY_VERIFY(m_drv->isOpen());
        QVERIFY(View()->Notificator().hasWorker());
        QCOMPARE(DeviceRows(), QStringList({"Studio 610", "Stage 1814"}));
        QCOMPARE(m_frame->PaneText(1), QStringLiteral("2 Device(s) connected."));
        QCOMPARE(m_frame->PaneText(2), QStringLiteral("Current sampling rate: 48.0 kHz"));

        // And from now on the driver's events refresh the pages.
        RenameInRig(1, "Renamed 610");
        m_rig->queueDriverEvent(3);
        QTRY_COMPARE(DeviceRows().first(), QStringLiteral("Renamed 610"));
    }

    void destroyingTheViewLetsGoOfTheDriver()
    {
        Start();
        QVERIFY(m_drv->isOpen());
        m_frame.reset();
        QVERIFY(!m_drv->isOpen());
        // Broadcasts after the view went reach nothing.
        QVERIFY(m_rig->unplug(1));
        QVERIFY(m_rig->plug(1));
        QTest::qWait(50);
        QVERIFY(!m_drv->isOpen());
    }

    void listSelectedIndex()
    {
        CListCtrlEx list;
        list.InsertColumn(0, QStringLiteral("A"), 50);
        QCOMPARE(list.GetSelectedIndex(), -1);
        for (int i = 0; i < 3; ++i)
            list.SetItemData(list.InsertItem(i, QString::number(i)), 10 + i);
        QCOMPARE(list.GetSelectedIndex(), -1);
        list.SelectItem(2);
        QCOMPARE(list.GetSelectedIndex(), 2);
        QCOMPARE(list.GetItemData(2), 12);
        // A row inserted above moves the selected row down with its data.
        list.InsertItem(0, QStringLiteral("x"));
        QCOMPARE(list.GetSelectedIndex(), 3);
        QCOMPARE(list.GetItemData(3), 12);
        list.DeleteItem(3);
        QCOMPARE(list.GetSelectedIndex(), -1);
    }
};

QTEST_MAIN(ViewTest)
#include "ViewTest.moc"
