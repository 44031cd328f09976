// The "Input Channels" and "Output Channels" pages against the rig: rows and
// ASIO display names, the shared option check box, the hardware-name field
// and renaming through the name dialog.
#include <QtTest>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "controlpanel/app/ControlPanelIds.h"
#include "controlpanel/app/DlgPgChannels.h"
#include "controlpanel/app/ListCtrlEx.h"
#include "controlpanel/app/TreeCtrlEx.h"
#include "controlpanel/app/tests/PageFixture.h"
#include "controlpanel/driver/ControlPanelRequests.h"
#include "device/Requests.h"
#include "sim/ControlPanelState.h"
#include "ui/ControlId.h"

class ChannelsPageTest : public QObject, PageFixture {
    Q_OBJECT

    CDlgPgChannels* In() { return View()->InputChannelsPage(); }
    CDlgPgChannels* Out() { return View()->OutputChannelsPage(); }
    CListCtrlEx* List(CDlgPgChannels* page) { return FindControl<CListCtrlEx>(page, IDC_CHANNEL_LIST); }
    QCheckBox* Check(CDlgPgChannels* page) { return FindControl<QCheckBox>(page, IDC_ASIO_NAME_OPTION); }
    QLineEdit* Hardware(CDlgPgChannels* page) { return FindControl<QLineEdit>(page, IDC_HARDWARE_NAME); }
    QPushButton* EditButton(CDlgPgChannels* page) { return FindControl<QPushButton>(page, IDC_EDIT_CHANNEL_NAME); }
    QStringList Row(CDlgPgChannels* page, int row)
    {
        return {List(page)->GetItemText(row, 0), List(page)->GetItemText(row, 1), List(page)->GetItemText(row, 2)};
    }
    std::uint32_t OptionInRig()
    {
        std::uint32_t option = 99;
        m_rig->withControlPanel([&](qel::sim::ControlPanelState& s) { option = s.asioNameOption; });
        return option;
    }

private slots:
    void init() { SetUpRig(); }
    void cleanup() { TearDownRig(); }

    void rowsAndHardwareName()
    {
        Start();
        QCOMPARE(List(In())->columnCount(), 3);
        QCOMPARE(List(In())->horizontalHeaderItem(2)->text(), QStringLiteral("ASIO display name"));
        QCOMPARE(List(In())->GetItemCount(), 24);
        QCOMPARE(List(Out())->GetItemCount(), 24);
        QCOMPARE(Row(In(), 0), QStringList({"Studio 610", "Analog In 1", "Analog In 1"}));
        QCOMPARE(Row(In(), 6), QStringList({"Stage 1814", "Analog In 1", "Analog In 1"}));
        QCOMPARE(Row(Out(), 9), QStringList({"Studio 610", "SPDIF Out 2", "SPDIF Out 2"}));
        QCOMPARE(List(In())->GetItemData(23), qint64(23));
        QVERIFY(!Check(In())->isChecked());

        // No selection: empty, disabled.
        QCOMPARE(Hardware(In())->text(), QString());
        QVERIFY(!Hardware(In())->isEnabled());
        QVERIFY(!EditButton(In())->isEnabled());
        QVERIFY(Hardware(In())->isReadOnly());
        // The hardware name with its leading blank.
        m_rig->withControlPanel([](qel::sim::ControlPanelState& s) { s.channels[0].name = "Kick"; });
        In()->Refresh();
        List(In())->SelectItem(0);
        QCOMPARE(Row(In(), 0), QStringList({"Studio 610", "Kick", "Kick"}));
        QCOMPARE(Hardware(In())->text(), QStringLiteral(" Analog In 1"));
        QVERIFY(Hardware(In())->isEnabled());
        QVERIFY(EditButton(In())->isEnabled());
        QVERIFY(FindControl(In(), IDC_HARDWARE_NAME_LABEL)->isEnabled());
    }

    void ctrlClickThatClearsTheSelectionDisablesTheEditing()
    {
        Start();
        m_frame->show();
        View()->Tree()->SelectItem(View()->TreeItem(1));
        QVERIFY(QTest::qWaitForWindowExposed(m_frame.get()));
        CListCtrlEx* list = List(In());
        list->SelectItem(2);
        QVERIFY(EditButton(In())->isEnabled());
        const QRect cell = list->visualRect(list->model()->index(2, 1));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, cell.center());
        QCOMPARE(list->GetSelectedIndex(), -1);
        QVERIFY(!EditButton(In())->isEnabled());
        QVERIFY(!Hardware(In())->isEnabled());
        QCOMPARE(Hardware(In())->text(), QString());
        // A plain click selects again.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
        QCOMPARE(list->GetSelectedIndex(), 2);
        QVERIFY(EditButton(In())->isEnabled());
    }

    void optionCheckBoxIsSharedByBothPages()
    {
        Start();
        Check(In())->click();
        QCOMPARE(OptionInRig(), 1u);
        QVERIFY(Check(Out())->isChecked());
        QCOMPARE(Row(In(), 0).at(2), QStringLiteral("Studio 610 - Analog In 1"));
        QCOMPARE(Row(Out(), 10).at(2), QStringLiteral("Stage 1814 - Analog Out 1"));

        Check(Out())->click();
        QCOMPARE(OptionInRig(), 0u);
        QVERIFY(!Check(In())->isChecked());
        QCOMPARE(Row(In(), 0).at(2), QStringLiteral("Analog In 1"));
    }

    void displayNameIsCutTo32Characters()
    {
        m_rig->withControlPanel([](qel::sim::ControlPanelState& s) { s.asioNameOption = 1; });
        const std::string thirty = "Thirty characters device name.";
        QCOMPARE(thirty.size(), std::size_t(30));
        m_rig->withFwDevice(1, [&](qel::sim::FwDeviceModel& m) { m.deviceName = thirty; });
        Start();
        // Read from the driver at start on both pages.
        QVERIFY(Check(In())->isChecked());
        QVERIFY(Check(Out())->isChecked());
        QCOMPARE(Row(In(), 0).at(2), QString::fromStdString(thirty) + QStringLiteral(" -"));
        QCOMPARE(Row(In(), 0).at(2).size(), 32);
        QCOMPARE(Row(In(), 6).at(2), QStringLiteral("Stage 1814 - Analog In 1"));
        QCOMPARE(AsioDisplayName(QStringLiteral("D"), QString(40, QLatin1Char('c')), false).size(), 32);
    }

    void renameStoresAtMost39Characters()
    {
        Start();
        List(Out())->SelectItem(2);
        const QString name = QStringLiteral("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHI");
        QCOMPARE(name.size(), 45);
        QString shown;
        auto seen = OnNextModal([&](QWidget* w) {
            auto* dlg = qobject_cast<CSubDlgChannelNameEdit*>(w);
            QVERIFY(dlg);
            QCOMPARE(dlg->windowTitle(), QStringLiteral("Edit Channel Name"));
            shown = dlg->Edit()->text();
            dlg->Edit()->setText(name);
            FindControl<QPushButton>(dlg, kIdOk)->click();
        });
        m_rig->takeTrace();
        EditButton(Out())->click();
        QVERIFY(*seen);
        QCOMPARE(shown, QStringLiteral("Analog Out 3"));
        const QStringList sent = InputsOf(QStringLiteral("QEL_REQ_SET_CHANNEL_PROPERTIES"));
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent[0].size(), 92 * 2);
        std::string stored, hardware;
        m_rig->withControlPanel([&](qel::sim::ControlPanelState& s) {
            for (const auto& c : s.channels)
                if (c.deviceId == 1 && c.direction == qel::sim::ChannelDirection::Out && c.hardwareName == "Analog Out 3")
                    stored = c.name;
        });
        QCOMPARE(QString::fromStdString(stored), name.left(39));
        QCOMPARE(Row(Out(), 2).at(1), name.left(39));
        QCOMPARE(List(Out())->GetSelectedIndex(), 2);
        QCOMPARE(Hardware(Out())->text(), QStringLiteral(" Analog Out 3"));
        // Option off: the display name is the first 32 characters.
        QCOMPARE(Row(Out(), 2).at(2), name.left(32));
    }

    void unreadableRecordsAndNoDriver()
    {
        Start();
        // The channels of a device that cannot be read are left out; its
        // properties are asked once for all of them.
        m_rig->takeTrace();
        m_rig->failNext(qel::QEL_REQ_GET_DEVICE_PROPERTIES, 1, 0xE0000001);
        In()->Refresh();
        QCOMPARE(List(In())->GetItemCount(), 18);
        QCOMPARE(Row(In(), 0).at(1), QStringLiteral("Analog In 1"));
        QCOMPARE(Row(In(), 0).at(0), QStringLiteral("Stage 1814"));
        QCOMPARE(Requests().count(QStringLiteral("QEL_REQ_GET_DEVICE_PROPERTIES")), 2);
        // One unreadable channel empties the list.
        m_rig->failNext(qel::QEL_REQ_GET_CHANNEL_PROPERTIES, 1, 0xE0000001, 5);
        In()->Refresh();
        QCOMPARE(List(In())->GetItemCount(), 0);
        QVERIFY(!EditButton(In())->isEnabled());

        TearDownRig();
        SetUpRig();
        DriverAbsent();
        Start();
        QCOMPARE(List(In())->GetItemCount(), 0);
        QCOMPARE(List(Out())->GetItemCount(), 0);
        QVERIFY(!Check(In())->isChecked());
        QVERIFY(!EditButton(Out())->isEnabled());
        QCOMPARE(Hardware(Out())->text(), QString());
    }

    void screenshot()
    {
        Start();
        m_frame->show();
        View()->Tree()->SelectItem(View()->TreeItem(1));
        List(In())->SelectItem(2);
        QVERIFY(QTest::qWaitForWindowExposed(m_frame.get()));
        QVERIFY(m_frame->grab().save(QStringLiteral("/tmp/cpl_page_channels.png")));
    }
};

QTEST_MAIN(ChannelsPageTest)
#include "ChannelsPageTest.moc"
