// The "Synchronisation" page against the rig: clock list and source texts,
// the one-master rule, rate mode, the source dialog, the synchronisation
// Apply with its bracket, the rate drop-down and its Apply.
#include <QtTest>

#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>

#include "controlpanel/app/ControlPanelIds.h"
#include "controlpanel/app/DlgPgSynchronisation.h"
#include "controlpanel/app/ListCtrlEx.h"
#include "controlpanel/app/TreeCtrlEx.h"
#include "controlpanel/app/tests/PageFixture.h"
#include "controlpanel/driver/ControlPanelRequests.h"
#include "device/Requests.h"
#include "ui/ControlId.h"
#include "ui/MessageBoxRecorder.h"

class SynchronisationPageTest : public QObject, PageFixture {
    Q_OBJECT

    CDlgPgSynchronisation* Page() { return View()->SynchronisationPage(); }
    CListCtrlEx* List() { return FindControl<CListCtrlEx>(Page(), IDC_CLOCK_LIST); }
    QPushButton* Button(int id) { return FindControl<QPushButton>(Page(), id); }
    QRadioButton* Radio(int id) { return FindControl<QRadioButton>(Page(), id); }
    QComboBox* Rates() { return FindControl<QComboBox>(Page(), IDC_SAMPLE_RATE_COMBO); }
    QStringList Column(int column)
    {
        QStringList texts;
        for (int r = 0; r < List()->GetItemCount(); ++r)
            texts << List()->GetItemText(r, column);
        return texts;
    }
    QList<bool> Checks()
    {
        QList<bool> checks;
        for (int r = 0; r < List()->GetItemCount(); ++r)
            checks << List()->GetCheck(r);
        return checks;
    }
    QStringList RateItems()
    {
        QStringList items;
        for (int i = 0; i < Rates()->count(); ++i)
            items << Rates()->itemText(i);
        return items;
    }
    void SetCurrentSource(std::uint32_t device, std::size_t entry)
    {
        m_rig->withFwDevice(device, [entry](qel::sim::FwDeviceModel& m) { m.currentSyncMode = entry; });
    }
private slots:
    void init() { SetUpRig(); }
    void cleanup() { TearDownRig(); }

    void clockListShowsTheComputerAndEveryDeviceSource()
    {
        SetCurrentSource(1, 1);  // kind 5 with a name
        m_rig->withFwDevice(2, [](qel::sim::FwDeviceModel& m) {
            m.syncModes.push_back({2, 9, ""});  // kind 2 without a name
            m.currentSyncMode = m.syncModes.size() - 1;
        });
        Start();
        QCOMPARE(List()->columnCount(), 3);
        QCOMPARE(List()->horizontalHeaderItem(0)->text(), QStringLiteral("Clk Master"));
        QCOMPARE(List()->horizontalHeaderItem(2)->text(), QStringLiteral("Current Synchronisation Source"));
        QCOMPARE(Column(1), QStringList({"PC Driver", "Studio 610", "Stage 1814"}));
        QCOMPARE(Column(2), QStringList({"Internal", "External Clock (spdif)", "SYT"}));
        QCOMPARE(List()->GetItemData(0), qint64(-1));
        QCOMPARE(List()->GetItemData(2), qint64(1));
        QCOMPARE(Checks(), QList<bool>({true, false, false}));
        QCOMPARE(Page()->MasterRow(), 0);
        // The computer is master: no rate-mode choice, no device row selected.
        QVERIFY(!Radio(IDC_RATE_MANUAL)->isEnabled());
        QVERIFY(!Radio(IDC_RATE_AUTOMATIC)->isEnabled());
        QVERIFY(!Button(IDC_CHANGE_SYNC_MODE)->isEnabled());
        QVERIFY(!Button(IDC_SYNC_APPLY)->isEnabled());
        QVERIFY(!Button(IDC_RATE_APPLY)->isEnabled());

        // The remaining kind texts and a kind past the table.
        const char* kinds[] = {"Unspecified", "CSP", "SYT", "SYT", "Digital Input", "External Clock"};
        for (std::uint32_t k = 0; k < 6; ++k)
            QCOMPARE(ClockSourceText({k, 0, {}}, QString()), QString::fromLatin1(kinds[k]));
        QCOMPARE(ClockSourceText({6, 0, {}}, QStringLiteral("x")), QStringLiteral(" (x)"));
        QCOMPARE(SampleRateText(44100), QStringLiteral("44.1 kHz"));
        QCOMPARE(SampleRateText(176400), QStringLiteral("176.4 kHz"));

        // A device master read from the driver is checked, row 0 says "External".
        QVERIFY(m_drv->beginSyncChange() == qel::QEL_OK);
        m_drv->syncSettings().setWord(4, 1);
        m_drv->syncSettings().setWord(8, 2);
        QVERIFY(m_drv->setSyncSettings() == qel::QEL_OK);
        QVERIFY(m_drv->endSyncChange() == qel::QEL_OK);
        Page()->Refresh();
        QCOMPARE(Checks(), QList<bool>({false, false, true}));
        QCOMPARE(List()->GetItemText(0, 2), QStringLiteral("External"));
        QVERIFY(Radio(IDC_RATE_MANUAL)->isEnabled());
    }

    void exactlyOneMasterAndTheComputerForcesManualRate()
    {
        Start();
        QCOMPARE(m_rig->syncParameter(), 1u);
        // With the computer as master any notification makes the kept rate mode manual.
        List()->SelectItem(2);
        QCOMPARE(m_drv->syncParameter(), 0u);
        QVERIFY(Button(IDC_CHANGE_SYNC_MODE)->isEnabled());

        // A device becomes master: the computer row is unchecked.
        List()->SetCheck(2, true);
        QCOMPARE(Checks(), QList<bool>({false, false, true}));
        QCOMPARE(Page()->MasterRow(), 2);
        QCOMPARE(List()->GetItemText(0, 2), QStringLiteral("External"));
        QVERIFY(Radio(IDC_RATE_MANUAL)->isEnabled());
        QVERIFY(Radio(IDC_RATE_AUTOMATIC)->isEnabled());
        QVERIFY(Radio(IDC_RATE_MANUAL)->isChecked());
        QVERIFY(Rates()->isEnabled());
        QVERIFY(Button(IDC_SYNC_APPLY)->isEnabled());
        // Nothing is sent before Apply.
        QVERIFY(!Requests().contains(QStringLiteral("QEL_REQ_SET_SYNC_SETTINGS")));

        // The master cannot be unchecked.
        List()->SetCheck(2, false);
        QCOMPARE(Checks(), QList<bool>({false, false, true}));
        QCOMPARE(Page()->MasterRow(), 2);

        // Automatic mode disables the rate list, manual enables it.
        Radio(IDC_RATE_AUTOMATIC)->click();
        QVERIFY(!Rates()->isEnabled());
        QCOMPARE(m_drv->syncParameter(), 1u);
        Radio(IDC_RATE_MANUAL)->click();
        QVERIFY(Rates()->isEnabled());
        QCOMPARE(m_drv->syncParameter(), 0u);

        // Back to the computer: kind 0, rate mode forced to manual.
        Radio(IDC_RATE_AUTOMATIC)->click();
        QCOMPARE(m_drv->syncParameter(), 1u);
        List()->SetCheck(0, true);
        QCOMPARE(Checks(), QList<bool>({true, false, false}));
        QCOMPARE(List()->GetItemText(0, 2), QStringLiteral("Internal"));
        QCOMPARE(m_drv->syncParameter(), 0u);
        QVERIFY(Radio(IDC_RATE_MANUAL)->isChecked());
        QVERIFY(!Radio(IDC_RATE_MANUAL)->isEnabled());
        QVERIFY(Rates()->isEnabled());

        Requests();
        Button(IDC_SYNC_APPLY)->click();
        QCOMPARE(Requests().mid(0, 7),
                 QStringList({"QEL_REQ_BEGIN_SYNC_CHANGE", "QEL_REQ_SET_SYNC_SETTINGS", "QEL_REQ_SET_SYNC_PARAMETER",
                              "QEL_REQ_SET_SYNC_MODE", "QEL_REQ_SET_SYNC_MODE", "QEL_REQ_END_SYNC_CHANGE",
                              "QEL_REQ_GET_DEVICE_LIST"}));
        QCOMPARE(m_rig->syncSettings()[1], 0u);
        QCOMPARE(m_rig->syncSettings()[2], 0u);
        QCOMPARE(m_rig->syncParameter(), 0u);
        QCOMPARE(m_rig->syncChangeDepth(), 0);
        QVERIFY(!Button(IDC_SYNC_APPLY)->isEnabled());
    }

    void applyWritesTheDeviceMasterAndFailedBeginCancels()
    {
        Start();
        List()->SetCheck(1, true);
        Radio(IDC_RATE_MANUAL)->click();

        // A refused begin sends nothing else.
        m_rig->failNext(qel::QEL_REQ_BEGIN_SYNC_CHANGE, 1, 0xE0000001);
        Requests();
        Button(IDC_SYNC_APPLY)->click();
        QCOMPARE(Requests(), QStringList({"QEL_REQ_BEGIN_SYNC_CHANGE"}));
        QVERIFY(!Button(IDC_SYNC_APPLY)->isEnabled());
        QCOMPARE(m_rig->syncSettings()[1], 0u);

        // The pending choice is still on the page; a second Apply sends it.
        Radio(IDC_RATE_MANUAL)->click();
        m_rig->takeTrace();
        Button(IDC_SYNC_APPLY)->click();
        QCOMPARE(InputsOf(QStringLiteral("QEL_REQ_SET_SYNC_SETTINGS")).value(0).mid(8), Le32(1) + Le32(1));
        QCOMPARE(m_rig->syncSettings()[1], 1u);
        QCOMPARE(m_rig->syncSettings()[2], 1u);
        QCOMPARE(m_rig->syncParameter(), 0u);
        // Read back after the Apply.
        QCOMPARE(Checks(), QList<bool>({false, true, false}));
        QCOMPARE(List()->GetItemText(0, 2), QStringLiteral("External"));
        QVERIFY(Rates()->isEnabled());
    }

    void sourceDialogChoosesOneEntry()
    {
        Start();
        // The driver events of the start have refreshed the pages (a refresh
        // would put the list back over the choice made below).
        QTest::qWait(2 * CQEL_CPLView::kEventRefreshMs);
        // Row 0 is the computer: no dialog, by button or double click.
        List()->SelectItem(0);
        QVERIFY(!Button(IDC_CHANGE_SYNC_MODE)->isEnabled());
        auto opened = OnNextModal([](QWidget* w) { w->close(); });
        emit List()->ItemDoubleClicked(0);
        QTest::qWait(50);
        QVERIFY(!*opened);

        List()->SelectItem(1);
        QStringList rows;
        QList<bool> checksBefore, checksAfter;
        opened = OnNextModal([&](QWidget* w) {
            auto* dlg = qobject_cast<CSubDlgDeviceSynch*>(w);
            QVERIFY(dlg);
            QCOMPARE(dlg->windowTitle(), QStringLiteral("Device Synchronisation Mode"));
            CListCtrlEx* list = dlg->List();
            for (int r = 0; r < list->GetItemCount(); ++r) {
                rows << list->GetItemText(r, 1);
                checksBefore << list->GetCheck(r);
            }
            list->SetCheck(2, true);
            // Unchecking the chosen entry checks it again.
            list->SetCheck(2, false);
            for (int r = 0; r < list->GetItemCount(); ++r)
                checksAfter << list->GetCheck(r);
            dlg->accept();
        });
        emit List()->ItemDoubleClicked(1);
        QVERIFY(*opened);
        QCOMPARE(rows, QStringList({"Digital Input (internal)", "External Clock (spdif)", "External Clock (optical)",
                                    "Digital Input (word clock)", "SYT (pc)"}));
        QCOMPARE(checksBefore, QList<bool>({true, false, false, false, false}));
        QCOMPARE(checksAfter, QList<bool>({false, false, true, false, false}));
        QCOMPARE(List()->GetItemText(1, 2), QStringLiteral("External Clock (optical)"));
        QVERIFY(Button(IDC_SYNC_APPLY)->isEnabled());

        // Cancel leaves the pending choice alone.
        opened = OnNextModal([](QWidget* w) {
            qobject_cast<CSubDlgDeviceSynch*>(w)->List()->SetCheck(4, true);
            qobject_cast<QDialog*>(w)->reject();
        });
        Button(IDC_CHANGE_SYNC_MODE)->click();
        QVERIFY(*opened);
        QCOMPARE(List()->GetItemText(1, 2), QStringLiteral("External Clock (optical)"));

        m_rig->takeTrace();
        Button(IDC_SYNC_APPLY)->click();
        // Identifier, kind and code of each device's current entry.
        QCOMPARE(InputsOf(QStringLiteral("QEL_REQ_SET_SYNC_MODE")),
                 QStringList({Le32(1) + Le32(5) + Le32(3), Le32(2) + Le32(4) + Le32(1)}));
        std::size_t current = 0;
        m_rig->withFwDevice(1, [&](qel::sim::FwDeviceModel& m) { current = m.currentSyncMode; });
        QCOMPARE(current, std::size_t(2));
        QCOMPARE(List()->GetItemText(1, 2), QStringLiteral("External Clock (optical)"));
    }

    void sourceDialogWithoutMatchingEntryChecksNothing()
    {
        Start();
        qel::QEL_DEVICE_SYNCH_MODE_INFO record = m_drv->syncModes().at(0);
        record.setCurrent(4, 99);
        CSubDlgDeviceSynch dlg(record, [](const std::string& s) { return QString::fromStdString(s); });
        QCOMPARE(dlg.List()->GetItemCount(), 5);
        for (int r = 0; r < 5; ++r)
            QVERIFY(!dlg.List()->GetCheck(r));
        dlg.List()->SetCheck(3, true);
        QCOMPARE(record.current().code, 4u);
        QCOMPARE(QString::fromStdString(record.current().name), QStringLiteral("word clock"));
    }

    void unlistedRateIsUnavailableAndNotAppliable()
    {
        m_rig->setSampleRates({1, 32000, {44100, 48000}});
        Start();
        QCOMPARE(m_frame->PaneText(2), QStringLiteral("Current sampling rate: 32.0 kHz"));
        QCOMPARE(RateItems(), QStringList({"44.1 kHz", "48.0 kHz", "32.0 kHz (unavailable)"}));
        QCOMPARE(Rates()->currentIndex(), 2);
        QCOMPARE(Rates()->currentData().toLongLong(), qint64(0));
        // Automatic rate: the list is disabled until the rate is set manually.
        QVERIFY(!Rates()->isEnabled());
        List()->SetCheck(1, true);
        Radio(IDC_RATE_MANUAL)->click();
        QVERIFY(Rates()->isEnabled());

        Rates()->setCurrentIndex(0);
        QVERIFY(Button(IDC_RATE_APPLY)->isEnabled());
        Rates()->setCurrentIndex(2);
        QVERIFY(!Button(IDC_RATE_APPLY)->isEnabled());

        Rates()->setCurrentIndex(0);
        m_rig->takeTrace();
        Button(IDC_RATE_APPLY)->click();
        QCOMPARE(InputsOf(QStringLiteral("QEL_REQ_SET_SAMPLE_RATE")), QStringList({Le32(0) + Le32(44100)}));
        QCOMPARE(m_rig->sampleRates().current, 44100u);
        QCOMPARE(m_frame->PaneText(2), QStringLiteral("Current sampling rate: 44.1 kHz"));
        QCOMPARE(RateItems(), QStringList({"44.1 kHz", "48.0 kHz"}));
        QCOMPARE(Rates()->currentIndex(), 0);
        QVERIFY(!Button(IDC_RATE_APPLY)->isEnabled());
    }

    void wdmInUseRefusesTheRateWithAMessage()
    {
        Start();
        CMessageBoxRecorder boxes;
        m_rig->setWdmInUse(true);
        Rates()->setCurrentIndex(0);
        QVERIFY(Button(IDC_RATE_APPLY)->isEnabled());
        Button(IDC_RATE_APPLY)->click();
        QCOMPARE(boxes.Entries().size(), 1);
        QCOMPARE(boxes.Entries()[0].text,
                 QStringLiteral("A WDM sound device is currently in use.\nSampling rate cannot be changed."));
        QCOMPARE(boxes.Entries()[0].caption, QStringLiteral("Drevik ControlPanel"));
        QCOMPARE(boxes.Entries()[0].icon, CMessageBoxService::Icon::Warning);
        QCOMPARE(boxes.Entries()[0].buttons, CMessageBoxService::Buttons::Ok);
        QCOMPARE(m_rig->sampleRates().current, 48000u);
        QCOMPARE(Rates()->currentText(), QStringLiteral("48.0 kHz"));

        // Any other refusal is silent.
        m_rig->setWdmInUse(false);
        m_rig->failNext(qel::QEL_REQ_SET_SAMPLE_RATE, 1, 0xE0000080);
        Rates()->setCurrentIndex(0);
        Button(IDC_RATE_APPLY)->click();
        QCOMPARE(boxes.Entries().size(), 1);
        QCOMPARE(m_rig->sampleRates().current, 48000u);
    }

    void noDriverOrNoDevice()
    {
        DriverAbsent();
        Start();
        QCOMPARE(List()->GetItemCount(), 0);
        QVERIFY(!Button(IDC_CHANGE_SYNC_MODE)->isEnabled());
        QVERIFY(!Radio(IDC_RATE_MANUAL)->isEnabled());
        QVERIFY(!Radio(IDC_RATE_AUTOMATIC)->isEnabled());
        QCOMPARE(Rates()->count(), 0);
        QVERIFY(!Rates()->isEnabled());
        QCOMPARE(m_frame->PaneText(2), QStringLiteral("Current sampling rate: unknown"));
        // A double click on nothing opens nothing.
        auto opened = OnNextModal([](QWidget* w) { w->close(); });
        emit List()->ItemDoubleClicked(0);
        QTest::qWait(30);
        QVERIFY(!*opened);
    }

    void devicesGoneEmptiesTheList()
    {
        Start();
        QCOMPARE(List()->GetItemCount(), 3);
        QVERIFY(m_rig->unplug(1));
        QVERIFY(m_rig->unplug(2));
        Page()->Refresh();
        QCOMPARE(List()->GetItemCount(), 0);
        QCOMPARE(Rates()->count(), 0);
        QCOMPARE(m_frame->PaneText(2), QStringLiteral("Current sampling rate: unknown"));
    }

    void screenshot()
    {
        Start();
        m_frame->show();
        View()->Tree()->SelectItem(View()->TreeItem(3));
        List()->SelectItem(1);
        QVERIFY(QTest::qWaitForWindowExposed(m_frame.get()));
        QVERIFY(m_frame->grab().save(QStringLiteral("/tmp/cpl_page_synchronisation.png")));
    }
};

QTEST_MAIN(SynchronisationPageTest)
#include "SynchronisationPageTest.moc"
