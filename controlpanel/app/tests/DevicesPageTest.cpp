// The "Devices" page against the rig: button enabling, pending ranking and
// its Apply, renaming through the name dialog, the device count pane.
#include <QtTest>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "controlpanel/app/ControlPanelIds.h"
#include "controlpanel/app/DlgPgDevices.h"
#include "controlpanel/app/DlgPgSynchronisation.h"
#include "controlpanel/app/ListCtrlEx.h"
#include "controlpanel/app/TreeCtrlEx.h"
#include "controlpanel/app/tests/PageFixture.h"
#include "controlpanel/driver/ControlPanelRequests.h"
#include "device/Requests.h"
#include "ui/ControlId.h"
#include "ui/MessageBoxRecorder.h"

class DevicesPageTest : public QObject, PageFixture {
    Q_OBJECT

    CDlgPgDevices* Page() { return View()->DevicesPage(); }
    CListCtrlEx* List() { return FindControl<CListCtrlEx>(Page(), IDC_DEVICE_LIST); }
    QPushButton* Button(int id) { return FindControl<QPushButton>(Page(), id); }
    bool HintShown() { return !FindControl<QLabel>(Page(), IDC_DEVICES_HINT)->isHidden(); }
    QStringList Rows()
    {
        QStringList rows;
        for (int r = 0; r < List()->GetItemCount(); ++r)
            rows << List()->GetItemText(r, 0);
        return rows;
    }
    // Edit, Up, Down enabled; hint shown.
    QList<bool> Buttons()
    {
        return {Button(IDC_EDIT_DEVICE_NAME)->isEnabled(), Button(IDC_DEVICE_UP)->isEnabled(),
                Button(IDC_DEVICE_DOWN)->isEnabled(), HintShown()};
    }
    void AddThirdDevice()
    {
        qel::sim::FwDeviceModel m;
        m.id = 3;
        m.rank = 2;
        m.deviceName = "Desk 404";
        m.serial = "K404-000001";
        m.syncModes = {{4, 1, "internal"}};
        m_rig->addFwDevice(std::move(m));
    }
    std::uint32_t RankInRig(std::uint32_t id)
    {
        std::uint32_t rank = 99;
        m_rig->withFwDevice(id, [&](qel::sim::FwDeviceModel& m) { rank = m.rank; });
        return rank;
    }
    std::string NameInRig(std::uint32_t id)
    {
        std::string name;
        m_rig->withFwDevice(id, [&](qel::sim::FwDeviceModel& m) { name = m.deviceName; });
        return name;
    }
    // Renames the selected device through the dialog; returns whether it came up.
    bool Rename(const QString& text, bool ok = true)
    {
        auto seen = OnNextModal([text, ok](QWidget* w) {
            auto* dlg = qobject_cast<CSubDlgDeviceNameEdit*>(w);
            QVERIFY(dlg);
            dlg->Edit()->setText(text);
            if (ok)
                FindControl<QPushButton>(dlg, kIdOk)->click();
            if (dlg->isVisible())
                dlg->reject();
        });
        Button(IDC_EDIT_DEVICE_NAME)->click();
        return *seen;
    }

private slots:
    void init() { SetUpRig(); }
    void cleanup() { TearDownRig(); }

    void buttonsFollowSelectionAndCount()
    {
        QVERIFY(m_rig->unplug(2));
        Start();
        QCOMPARE(Rows(), QStringList({"Studio 610"}));
        QCOMPARE(List()->GetItemText(0, 1), QStringLiteral("K610-000417"));
        QCOMPARE(m_frame->PaneText(1), QStringLiteral("1 Device(s) connected."));
        QCOMPARE(Buttons(), QList<bool>({false, false, false, false}));
        QVERIFY(!Button(IDC_DEVICES_APPLY)->isEnabled());
        List()->SelectItem(0);
        QCOMPARE(Buttons(), QList<bool>({true, false, false, false}));
        QCOMPARE(FindControl<QLabel>(Page(), IDC_DEVICES_HINT)->text(),
                 QStringLiteral("Use Up and Down buttons to change device ranking and press Apply to store settings.\n"
                                "Device ranking defines the order of channels shown in ASIO hosts."));

        QVERIFY(m_rig->plug(2));
        AddThirdDevice();
        View()->RefreshAllPages();
        QCOMPARE(m_frame->PaneText(1), QStringLiteral("3 Device(s) connected."));
        // The selection is kept by index.
        QCOMPARE(List()->GetSelectedIndex(), 0);
        QCOMPARE(Buttons(), QList<bool>({true, false, true, true}));
        List()->SelectItem(1);
        QCOMPARE(Buttons(), QList<bool>({true, true, true, true}));
        List()->SelectItem(2);
        QCOMPARE(Buttons(), QList<bool>({true, true, false, true}));
    }

    void rankingIsPendingUntilApply()
    {
        AddThirdDevice();
        Start();
        QCOMPARE(Rows(), QStringList({"Studio 610", "Stage 1814", "Desk 404"}));
        List()->SelectItem(2);
        m_rig->takeTrace();
        Button(IDC_DEVICE_UP)->click();
        Button(IDC_DEVICE_UP)->click();
        QCOMPARE(Rows(), QStringList({"Desk 404", "Studio 610", "Stage 1814"}));
        QCOMPARE(List()->GetSelectedIndex(), 0);
        QCOMPARE(List()->GetItemData(0), qint64(2));
        QCOMPARE(List()->GetItemText(0, 1), QStringLiteral("K404-000001"));
        QCOMPARE(Buttons(), QList<bool>({true, false, true, true}));
        QVERIFY(Button(IDC_DEVICES_APPLY)->isEnabled());
        QVERIFY(Requests().isEmpty());
        QCOMPARE(RankInRig(3), 2u);

        Button(IDC_DEVICES_APPLY)->click();
        // Every record in the driver's order, each with its new rank.
        const QStringList sent = InputsOf(QStringLiteral("QEL_REQ_SET_DEVICE_PROPERTIES"));
        QCOMPARE(sent.size(), 3);
        QCOMPARE(sent[0].left(16), Le32(1) + Le32(1));
        QCOMPARE(sent[1].left(16), Le32(2) + Le32(2));
        QCOMPARE(sent[2].left(16), Le32(3) + Le32(0));
        QCOMPARE(sent[0].size(), 432 * 2);
        QCOMPARE(RankInRig(3), 0u);
        QCOMPARE(RankInRig(1), 1u);
        QCOMPARE(RankInRig(2), 2u);
        QVERIFY(!Button(IDC_DEVICES_APPLY)->isEnabled());

        // A refresh drops pending moves.
        List()->SelectItem(1);
        Button(IDC_DEVICE_DOWN)->click();
        View()->RefreshAllPages();
        QCOMPARE(Rows(), QStringList({"Studio 610", "Stage 1814", "Desk 404"}));
    }

    void renameStoresAtMost39Characters()
    {
        Start();
        List()->SelectItem(1);
        const QString fifty = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwx");
        QCOMPARE(fifty.size(), 50);
        QVERIFY(Rename(fifty));
        QCOMPARE(QString::fromStdString(NameInRig(2)), fifty.left(39));
        QCOMPARE(Rows().at(1), fifty.left(39));
        // The other pages show the new name at once.
        auto* clocks = FindControl<CListCtrlEx>(View()->SynchronisationPage(), IDC_CLOCK_LIST);
        QCOMPARE(clocks->GetItemText(2, 1), fifty.left(39));

        // A code-page character goes over as its byte.
        List()->SelectItem(0);
        QVERIFY(Rename(QStringLiteral("Caf\u00e9 \u20ac")));
        QCOMPARE(NameInRig(1), std::string("Caf\xe9 \x80"));
        QCOMPARE(Rows().at(0), QStringLiteral("Caf\u00e9 \u20ac"));

        // Cancel sends nothing.
        List()->SelectItem(0);
        m_rig->takeTrace();
        QVERIFY(Rename(QStringLiteral("Other"), false));
        QVERIFY(Requests().isEmpty());
    }

    void renameRefusesCharactersOutsideTheCodePage()
    {
        Start();
        CMessageBoxRecorder boxes;
        List()->SelectItem(0);
        m_rig->takeTrace();
        QVERIFY(Rename(QStringLiteral("Studio \u65e5\u672c")));
        QCOMPARE(boxes.Entries().size(), 1);
        QCOMPARE(boxes.Entries()[0].text,
                 QStringLiteral("The name contains characters that cannot be stored by the driver."));
        QVERIFY(!Requests().contains(QStringLiteral("QEL_REQ_SET_DEVICE_PROPERTIES")));
        QCOMPARE(NameInRig(1), std::string("Studio 610"));
    }

    void renameSendsTheStoredRankNotThePendingPosition()
    {
        Start();
        List()->SelectItem(1);
        Button(IDC_DEVICE_UP)->click();
        QCOMPARE(List()->GetSelectedIndex(), 0);
        QVERIFY(Rename(QStringLiteral("Front")));
        QCOMPARE(NameInRig(2), std::string("Front"));
        QCOMPARE(RankInRig(2), 1u);
        QCOMPARE(Rows(), QStringList({"Studio 610", "Front"}));
    }

    void noDriver()
    {
        DriverAbsent();
        Start();
        QCOMPARE(List()->GetItemCount(), 0);
        QCOMPARE(m_frame->PaneText(1), QStringLiteral("0 Device(s) connected."));
        QCOMPARE(Buttons(), QList<bool>({false, false, false, false}));
        auto seen = OnNextModal([](QWidget* w) { w->close(); });
        emit List()->ItemDoubleClicked(0);
        QTest::qWait(30);
        QVERIFY(!*seen);
    }

    void screenshot()
    {
        Start();
        m_frame->show();
        View()->Tree()->SelectItem(View()->TreeItem(0));
        List()->SelectItem(1);
        QVERIFY(QTest::qWaitForWindowExposed(m_frame.get()));
        QVERIFY(m_frame->grab().save(QStringLiteral("/tmp/cpl_page_devices.png")));
    }
};

QTEST_MAIN(DevicesPageTest)
#include "DevicesPageTest.moc"
